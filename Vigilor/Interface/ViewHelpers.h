#pragma once

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include <string>

// Small helpers every view uses.

// The views' one conversion of the monitor's texts.

inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Puts `text` on the clipboard; whether the clipboard took it.
inline bool copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    return clipboard->text() == text;
}
