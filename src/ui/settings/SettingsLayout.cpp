// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsLayout.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace scrivlet {

namespace {

// A section's rows, on a faint rounded box.
class SectionBox : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(0.04f);
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.08f);
        painter.setPen(QPen(line, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
};

// The section's symbol, white on a square of its colour.
class SectionIcon : public QWidget
{
public:
    SectionIcon(const QString &icon, const QColor &color, QWidget *parent)
        : QWidget(parent)
        , m_icon(QStringLiteral(":/icons/settings/%1.svg").arg(icon))
        , m_color(color)
    {
        setFixedSize(24, 24);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, m_color.lighter(125));
        gradient.setColorAt(1, m_color);
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(rect(), 6, 6);
        m_icon.paint(&painter, rect().adjusted(5, 5, -5, -5));
    }

private:
    QIcon m_icon;
    QColor m_color;
};

} // namespace

FadedLabel::FadedLabel(const QString &text, float strength, QWidget *parent)
    : QLabel(text, parent)
    , m_strength(strength)
{
    follow();
}

void FadedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        follow();
}

void FadedLabel::follow()
{
    // From what the label inherits, not from its own palette, which holds
    // the faded colour already.
    const QPalette inherited
        = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QColor color = inherited.color(QPalette::WindowText);
    color.setAlphaF(m_strength);
    // Setting the same colour again changes nothing, so this ends.
    if (palette().color(QPalette::WindowText) != color)
        prefs::setColor(this, QPalette::WindowText, color);
}

Divider::Divider(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent *)
{
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.12f);
    QPainter(this).fillRect(rect(), line);
}

namespace prefs {

QFont captionFont(const QWidget *widget)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

void setColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    // A fresh palette sets this role alone; a copy of the widget's own would
    // pin every role and stop it following light and dark.
    QPalette palette;
    palette.setColor(role, color);
    widget->setPalette(palette);
}

QWidget *section(const QString &icon, const QColor &color, const QString &title,
    const QList<QWidget *> &rows, QWidget *parent)
{
    auto *widget = new QWidget(parent);
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new SectionIcon(icon, color, widget));
    auto *label = new QLabel(title, widget);
    QFont headline = label->font();
    headline.setBold(true);
    label->setFont(headline);
    header->addWidget(label);
    header->addStretch();
    layout->addLayout(header);

    auto *box = new SectionBox(widget);
    auto *content = new QVBoxLayout(box);
    content->setContentsMargins(14, 14, 14, 14);
    content->setSpacing(10);
    for (QWidget *row : rows)
        content->addWidget(row);
    layout->addWidget(box);
    return widget;
}

QWidget *row(const QString &label, QWidget *control)
{
    auto *widget = new QWidget;
    auto *layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *text = new QLabel(label, widget);
    text->setBuddy(control);
    layout->addWidget(text);
    layout->addStretch();
    layout->addWidget(control);
    return widget;
}

FadedLabel *note(const QString &text)
{
    auto *label = new FadedLabel(text);
    label->setWordWrap(true);
    label->setFont(captionFont(label));
    return label;
}

} // namespace prefs

} // namespace scrivlet
