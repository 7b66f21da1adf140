#pragma once

#include <QString>

#include <string>

// The views' one conversion of the monitor's texts.

inline QString qs(const std::string& text) { return QString::fromStdString(text); }
