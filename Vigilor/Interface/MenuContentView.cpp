#include "MenuContentView.h"

MenuContentView::MenuContentView(std::shared_ptr<VigilorMonitor> monitor, MenuContentActions actions,
                                 QWidget* parent)
    : QWidget(parent), monitor_(std::move(monitor)), actions_(std::move(actions)) {}

MenuContentView::~MenuContentView() = default;

QSize MenuContentView::sizeHint() const { return {392, 448}; }
