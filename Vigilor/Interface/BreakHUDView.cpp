#include "BreakHUDView.h"

BreakHUDView::BreakHUDView(std::shared_ptr<VigilorMonitor> monitor, QWidget* parent)
    : QWidget(parent), monitor_(std::move(monitor)) {}

BreakHUDView::~BreakHUDView() = default;

QSize BreakHUDView::sizeHint() const { return {260, 260}; }
