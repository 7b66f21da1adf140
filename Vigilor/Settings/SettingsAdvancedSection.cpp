#include "SettingsAdvancedSection.h"

#include "Vigilor/Settings/SettingsSection.h"

#include <QWidget>

QWidget* makeAdvancedSectionContent(SettingsSectionContext&) {
    return new QWidget;
}
