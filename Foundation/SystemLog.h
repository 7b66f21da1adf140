#pragma once

#include <string>
#include <string_view>

// Diagnostics for developers: one line on standard output, "[component] message".
void systemLog(std::string_view component, std::string_view message);

// A number as Swift-style programs print it: the shortest text that reads back as the same double,
// with ".0" on whole numbers ("30.0", "0.15").
std::string doubleDescription(double value);
