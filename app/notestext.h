#pragma once
#include <string>
// Release notes for a multi-line edit control: CR bytes dropped, LF -> CR LF.
std::string ToEditLineEnds(const std::string &text);
