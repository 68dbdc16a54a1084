#pragma once
// The target library's version text.
#define FlashUtilVersion "1.0"
