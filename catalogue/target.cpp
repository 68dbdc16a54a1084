// The product table: seven products, eight hardware options, fixed at build
// time and built once before main. Rows never move, so pointers into the table
// stay valid for the whole run.
#include "catalogue/target.h"

namespace {

const std::vector<Product> Target = {
    {"VKT-PA", {{"VKTPA", 2, "VKTPA", "flashloader.img"}}},
    {"VKT-3",
     {{"VKT3", 1, "VKT3/VKT3", "flashloader.img"},
      {"VKT3K", 8, "VKT3/VKT3K", "vkt3_flash_v1_0_4.img"}}},
    {"VKT-3W", {{"VKT3W", 3, "VKT3W", "vkt3w_flash_v1_0_4.img"}}},
    {"VKT-RTW", {{"VKTRTW", 6, "VKTRT", "vktrt_flash_v1_0_4.img"}}},
    {"VKT-Q1", {{"VKTQ1", 4, "VKTQ1", "flashloader.img"}}},
    {"VKT-Q2", {{"VKTQ2", 7, "VKTQ2", "vktq2_flashloader_v1_0_2.img"}}},
    {"VKT-N1", {{"VKTN1", 5, "VKTN1", "flashloader.img"}}},
};

}  // namespace

bool FindByHW(const std::string &hw, const Product *&product, const HWOption *&option)
{
    for (const Product &p : Target) {
        for (const HWOption &o : p.options) {
            if (o.hw == hw) {
                product = &p;
                option = &o;
                return true;
            }
        }
    }
    product = nullptr;
    option = nullptr;
    return false;
}

const std::vector<Product> &AllProducts()
{
    return Target;
}
