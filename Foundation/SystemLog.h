#pragma once

#include <string>
#include <string_view>

// Diagnostics for developers: one line on standard output, "[component] message".
void systemLog(std::string_view component, std::string_view message);
