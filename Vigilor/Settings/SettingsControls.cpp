#include "SettingsControls.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QHBoxLayout>
#include <QSignalBlocker>

SettingsPicker::SettingsPicker(const QStringList& labels, std::function<int()> selectedIndex,
                               std::function<void(int)> choose, int width, QWidget* parent)
    : QComboBox(parent)
    , selectedIndex_(std::move(selectedIndex))
    , choose_(std::move(choose)) {
    addItems(labels);
    setFont(zorviControl());
    setFixedWidth(width);
    zorviWheelOnlyWithFocus(*this);
    // `activated` comes from the user only; a refresh's setCurrentIndex does not send it.
    connect(this, &QComboBox::activated, this, [this](int index) {
        choose_(index);
        refresh();
    });
    refresh();
}

void SettingsPicker::refresh() {
    const int index = selectedIndex_();
    if (index == currentIndex())
        return;
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

SegmentedPicker::SegmentedPicker(const QStringList& labels, std::function<int()> selectedIndex,
                                 std::function<void(int)> choose, QWidget* parent)
    : QWidget(parent)
    , selectedIndex_(std::move(selectedIndex))
    , choose_(std::move(choose)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    group_.setExclusive(false); // a stored value outside the options selects none
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new ZorviGlassButton(labels[i]);
        button->setFont(zorviControl());
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group_.addButton(button, i);
        row->addWidget(button);
    }
    // `idClicked` comes from the user only.
    connect(&group_, &QButtonGroup::idClicked, this, [this](int index) {
        choose_(index);
        refresh();
    });
    refresh();
}

void SegmentedPicker::refresh() {
    const int selected = selectedIndex_();
    for (QAbstractButton* button : group_.buttons()) {
        const bool on = group_.id(button) == selected;
        const QSignalBlocker blocker(button);
        button->setChecked(on);
        auto* glass = static_cast<ZorviGlassButton*>(button);
        if (glass->prominent() != on)
            glass->setProminent(on);
    }
}

int SegmentedPicker::selectedIndex() const {
    for (QAbstractButton* button : group_.buttons())
        if (button->isChecked())
            return group_.id(button);
    return -1;
}

QAbstractButton* SegmentedPicker::segment(int index) const {
    return group_.button(index);
}

int SegmentedPicker::count() const {
    return int(group_.buttons().size());
}

SettingsTextField::SettingsTextField(Binding<std::string> text, const QString& placeholder, int width,
                                     Commit commit, QWidget* parent)
    : QLineEdit(parent)
    , text_(std::move(text)) {
    setPlaceholderText(placeholder);
    setFixedWidth(width);
    setFont(zorviControl());
    if (commit == Commit::everyEdit)
        // `textEdited` comes from the user only; refresh()'s setText does not send it.
        connect(this, &QLineEdit::textEdited, this,
                [this](const QString& edited) { text_.set(edited.toStdString()); });
    else
        connect(this, &QLineEdit::editingFinished, this, [this] { this->commit(); });
    refresh();
}

void SettingsTextField::commit() {
    const std::string typed = text().toStdString();
    if (typed != text_.get())
        text_.set(typed);
}

void SettingsTextField::refresh() {
    if (hasFocus())
        return; // the user's typing owns the text (and the cursor)
    const QString stored = QString::fromStdString(text_.get());
    if (stored != text())
        setText(stored);
}
