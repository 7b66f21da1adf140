#pragma once

#include "Foundation/RawValueEnum.h"
#include "Vigilor/SettingsModel/Binding.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The controls of the settings rows that edit a bound choice or text. Like the rows, each shows the
// bound value in refresh() without writing it, and writes only on the user's own action.

// The options of a choice over a bound value: the values in the order offered, with their labels. A
// bound value that is not among them selects nothing.
template <class E> struct SettingsChoices {
    Binding<E> binding;
    std::vector<std::pair<E, QString>> options;

    int selectedIndex() const {
        const E current = binding.get();
        for (size_t i = 0; i < options.size(); ++i)
            if (options[i].first == current)
                return int(i);
        return -1;
    }
    void choose(int index) const {
        if (index >= 0 && size_t(index) < options.size())
            binding.set(options[size_t(index)].first);
    }
    QStringList labels() const {
        QStringList list;
        for (const auto& option : options)
            list << option.second;
        return list;
    }
};

// Every case of an enumeration with string raw values, labelled by its raw value.
template <RawValueEnum E> SettingsChoices<E> allChoices(Binding<E> binding) {
    SettingsChoices<E> choices{std::move(binding), {}};
    for (E value : allCases<E>())
        choices.options.emplace_back(value,
                                     QString::fromUtf8(rawValue(value).data(), rawValue(value).size()));
    return choices;
}

// A pop-up picker (the platform's default picker style) of a fixed width, its label hidden.
class SettingsPicker : public QComboBox {
public:
    template <class E>
    SettingsPicker(SettingsChoices<E> choices, int width, QWidget* parent = nullptr)
        : SettingsPicker(
              choices.labels(), [choices] { return choices.selectedIndex(); },
              [choices](int index) { choices.choose(index); }, width, parent) {}
    SettingsPicker(const QStringList& labels, std::function<int()> selectedIndex,
                   std::function<void(int)> choose, int width, QWidget* parent = nullptr);
    void refresh();

private:
    std::function<int()> selectedIndex_;
    std::function<void(int)> choose_;
};

// A segmented picker: one button per option side by side, the selected one checked.
class SegmentedPicker : public QWidget {
public:
    template <class E>
    SegmentedPicker(SettingsChoices<E> choices, QWidget* parent = nullptr)
        : SegmentedPicker(
              choices.labels(), [choices] { return choices.selectedIndex(); },
              [choices](int index) { choices.choose(index); }, parent) {}
    SegmentedPicker(const QStringList& labels, std::function<int()> selectedIndex,
                    std::function<void(int)> choose, QWidget* parent = nullptr);
    void refresh();
    int selectedIndex() const;
    QAbstractButton* segment(int index) const;
    int count() const;

private:
    std::function<int()> selectedIndex_;
    std::function<void(int)> choose_;
    QButtonGroup group_;
};

// A rounded text field of a fixed width over a bound text. It either stores every edit as typed, or
// only when editing ends (Enter, or the keyboard leaving the field) and the text differs from the
// stored one, so that a half-typed value is never used. While it has the keyboard, refresh() leaves
// the text alone.
class SettingsTextField : public QLineEdit {
public:
    enum class Commit { everyEdit, whenEditingEnds };

    SettingsTextField(Binding<std::string> text, const QString& placeholder, int width, Commit commit,
                      QWidget* parent = nullptr);
    void refresh();

private:
    void commit();

    Binding<std::string> text_;
};
