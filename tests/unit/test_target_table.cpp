#include <gtest/gtest.h>

#include "catalogue/target.h"

namespace {

struct Row {
    const char *name, *hw;
    int32_t code;
    const char *folder, *flashLoader;
};

// The table in order; the second "VKT-3" row is that product's second option.
const Row kRows[] = {
    {"VKT-PA", "VKTPA", 2, "VKTPA", "flashloader.img"},
    {"VKT-3", "VKT3", 1, "VKT3/VKT3", "flashloader.img"},
    {"VKT-3", "VKT3K", 8, "VKT3/VKT3K", "vkt3_flash_v1_0_4.img"},
    {"VKT-3W", "VKT3W", 3, "VKT3W", "vkt3w_flash_v1_0_4.img"},
    {"VKT-RTW", "VKTRTW", 6, "VKTRT", "vktrt_flash_v1_0_4.img"},
    {"VKT-Q1", "VKTQ1", 4, "VKTQ1", "flashloader.img"},
    {"VKT-Q2", "VKTQ2", 7, "VKTQ2", "vktq2_flashloader_v1_0_2.img"},
    {"VKT-N1", "VKTN1", 5, "VKTN1", "flashloader.img"},
};

void ExpectNotFound(const std::string &hw)
{
    const Product dummyProduct{};
    const HWOption dummyOption{};
    const Product *product = &dummyProduct;
    const HWOption *option = &dummyOption;
    EXPECT_FALSE(FindByHW(hw, product, option)) << '"' << hw << '"';
    EXPECT_EQ(product, nullptr);
    EXPECT_EQ(option, nullptr);
}

}  // namespace

TEST(ProductTable, HoldsSevenProductsWithEightOptionsInTableOrder)
{
    const std::vector<Product> &table = AllProducts();
    ASSERT_EQ(table.size(), 7u);
    size_t row = 0;
    for (const Product &p : table) {
        for (const HWOption &o : p.options) {
            ASSERT_LT(row, std::size(kRows));
            const Row &want = kRows[row++];
            EXPECT_EQ(p.name, want.name);
            EXPECT_EQ(o.hw, want.hw);
            EXPECT_EQ(o.code, want.code);
            EXPECT_EQ(o.folder, want.folder);
            EXPECT_EQ(o.flashLoader, want.flashLoader);
        }
    }
    EXPECT_EQ(row, 8u);
}

TEST(FindByHW, FindsEveryOptionByItsIdentifier)
{
    for (const Row &want : kRows) {
        const Product *product = nullptr;
        const HWOption *option = nullptr;
        ASSERT_TRUE(FindByHW(want.hw, product, option)) << want.hw;
        EXPECT_EQ(product->name, want.name);
        EXPECT_EQ(option->hw, want.hw);
        EXPECT_EQ(option->folder, want.folder);
    }
}

TEST(FindByHW, Vkt3OptionsArePointersIntoTheSameProductRow)
{
    const Product *p1 = nullptr, *p2 = nullptr;
    const HWOption *o1 = nullptr, *o2 = nullptr;
    ASSERT_TRUE(FindByHW("VKT3", p1, o1));
    ASSERT_TRUE(FindByHW("VKT3K", p2, o2));
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(o1, &p1->options[0]);
    EXPECT_EQ(o2, &p1->options[1]);
    EXPECT_EQ(p1, &AllProducts()[1]);
}

TEST(FindByHW, RtwIsFoundByIdentifierNotByFolder)
{
    const Product *product = nullptr;
    const HWOption *option = nullptr;
    ASSERT_TRUE(FindByHW("VKTRTW", product, option));
    EXPECT_EQ(product->name, "VKT-RTW");
    ExpectNotFound("VKTRT");
}

TEST(FindByHW, ComparesWholeTextByteForByte)
{
    ExpectNotFound("");
    ExpectNotFound("vkt3k");
    ExpectNotFound("Vkt3K");
    ExpectNotFound("VKT3K ");
    ExpectNotFound("VKT3K\r");
    ExpectNotFound(" VKT3K");
    ExpectNotFound("VKT3K\n");
    ExpectNotFound(std::string("VKT3K\0", 6));
    ExpectNotFound("VKT");
    ExpectNotFound("VKT-3");
}

TEST(FindByHW, PointersStayValidAcrossFurtherLookups)
{
    const Product *product = nullptr;
    const HWOption *option = nullptr;
    ASSERT_TRUE(FindByHW("VKTQ2", product, option));
    const Product *keptProduct = product;
    const HWOption *keptOption = option;
    for (int i = 0; i < 1000; ++i) {
        const Product *p = nullptr;
        const HWOption *o = nullptr;
        FindByHW(kRows[i % 8].hw, p, o);
        FindByHW("nothing", p, o);
    }
    ASSERT_TRUE(FindByHW("VKTQ2", product, option));
    EXPECT_EQ(product, keptProduct);
    EXPECT_EQ(option, keptOption);
    EXPECT_EQ(keptProduct->name, "VKT-Q2");
    EXPECT_EQ(keptOption->flashLoader, "vktq2_flashloader_v1_0_2.img");
}
