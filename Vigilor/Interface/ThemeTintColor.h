#pragma once

#include "Vigilor/Interface/ThemeTint.h"

#include <QColor>

// The theme or system colour that a view model's colour role stands for.
QColor themeTintColor(ThemeTint tint);
