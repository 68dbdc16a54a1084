// The model/hardware label and the check of an image against the connected
// product and hardware option.
#include "catalogue/hwcheck.h"

std::string ModelHW(const std::string &model, const std::string &hw)
{
    if (hw.empty())
        return model;
    if (model.empty())
        return "(" + hw + ")";
    return model + " (" + hw + ")";
}

int CheckFirmwareHW(const FirmwareVersion &fw, const Product &product, const HWOption &option,
                    std::string &message)
{
    const std::string device = ModelHW(product.name, option.hw);
    if (!fw.hasHW) {
        message = "This firmware image has no hardware identifier embedded (older build). "
                  "Compatibility with " + device + " cannot be verified automatically.";
        return HWUnknown;
    }
    bool modelFits = fw.model.empty() || fw.model == product.name;
    if (modelFits && fw.hw == option.hw) {
        message = "Image matches the connected " + device + ".";
        return HWMatch;
    }
    message = "This firmware is for " + ModelHW(fw.model, fw.hw) + ", but the connected device is " +
              device + ". It cannot be programmed onto this device.";
    return HWMismatch;
}
