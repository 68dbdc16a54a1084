#pragma once
// The maker's support address, named in the operator's error lines.
constexpr const char *kSupportEmail = "support@zelvo.example";
