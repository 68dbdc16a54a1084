// Which port a freshly filled COM port list selects.
#pragma once

#include <string>
#include <vector>

// Index in `ports` of the first name of `preferred` that is listed (an
// empty name never is); else 0, the first port; -1 for an empty list.
int ChoosePort(const std::vector<std::string> &ports, const std::vector<std::string> &preferred);
