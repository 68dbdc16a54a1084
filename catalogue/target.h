// The built-in table of products and their hardware options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HWOption {
    std::string hw;           // identifier as the device answers the "HW" query
    int32_t code;             // numeric code 1..8 (carried, not read)
    std::string folder;       // sub-folder of firmware/ and flashloader/; may hold a '/'
    std::string flashLoader;  // flash loader file name inside flashloader/<folder>
};

struct Product {
    std::string name;               // display name, compared with the "MD:" token
    std::vector<HWOption> options;  // one or two
};

// Finds the option whose `hw` equals `hw` exactly. On failure both outs are null.
bool FindByHW(const std::string &hw, const Product *&product, const HWOption *&option);

// The whole table, read-only, for tools that walk every option (sample data,
// the command-line catalogue listing). The application itself uses FindByHW.
const std::vector<Product> &AllProducts();
