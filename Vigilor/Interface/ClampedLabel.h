#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <initializer_list>
#include <optional>

class QVBoxLayout;

// The lines `text` takes within `width` when wrapped at word boundaries into at most `maxLines`
// lines, the last of them ending in an ellipsis when the text needs more.
QStringList clampedLines(const QString& text, const QFont& font, double width, int maxLines);

// Texts stacked `spacing` apart, kept together and centred in the height their row gives them.
QVBoxLayout* textStack(int spacing, std::initializer_list<QWidget*> texts);

// A text of at most a given number of lines that grows to its full height (never cut vertically) and
// ends in an ellipsis when it needs more lines. A one-line text may first shrink to 85 % of its size.
class ClampedLabel : public QWidget {
public:
    ClampedLabel(QFont font, QColor colour, int maxLines, bool shrinks = false, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setColour(const QColor& colour);
    void setAlignment(Qt::Alignment alignment);

    // The lines as drawn at the current width, and the font they are drawn in.
    QStringList shownLines() const;
    QFont shownFont() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int lineCount(int innerWidth) const;

    QFont font_;
    QColor colour_;
    int maxLines_;
    bool shrinks_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    QString text_;
    // The lines the text took at the widths last asked for: layouts ask again and again for the same
    // few widths, and each answer lays the whole text out.
    struct Measure {
        int innerWidth;
        int lines;
    };
    mutable std::array<std::optional<Measure>, 4> measures_;
    mutable size_t nextMeasure_ = 0;
};
