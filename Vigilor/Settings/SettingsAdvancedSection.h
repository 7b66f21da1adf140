#pragma once

class QWidget;
class SettingsSectionContext;

// The rows of the settings page's "Advanced" card: a column of collapsible cards, one per topic. The
// form puts them in the card's frame, between the known-face card and the updates card.
QWidget* makeAdvancedSectionContent(SettingsSectionContext& context);
