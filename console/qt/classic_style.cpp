// SPDX-License-Identifier: MIT
#include "classic_style.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace kavrelo::console::qt {
namespace {

const QColor kHighlight(255, 255, 255);
const QColor kDarkShadow(64, 64, 64);

void draw_edge(QPainter& painter, const QRect& r, const QColor& top_left, const QColor& bottom_right) {
    painter.setPen(top_left);
    painter.drawLine(r.topLeft(), r.topRight() - QPoint(1, 0));
    painter.drawLine(r.topLeft(), r.bottomLeft() - QPoint(0, 1));
    painter.setPen(bottom_right);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

ClassicStyle::ClassicStyle(int caption_indent)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), caption_indent_(caption_indent) {}

void ClassicStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
    if (element == PE_FrameGroupBox) {
        const QRect r = option->rect;
        painter->save();
        painter->setPen(QColor(128, 128, 128));
        painter->drawRect(r.adjusted(0, 0, -2, -2));
        painter->setPen(kHighlight);
        painter->drawRect(r.adjusted(1, 1, -1, -1));
        painter->restore();
        return;
    }
    if (element != PE_PanelButtonCommand) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QColor face = option->palette.color(QPalette::Button);
    const QColor shadow = face.darker(160);
    const QRect outer = option->rect.adjusted(0, 0, -1, -1);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    painter->save();
    painter->fillRect(option->rect, face);
    if (option->state & (State_Sunken | State_On)) {
        draw_edge(*painter, outer, kDarkShadow, kDarkShadow);
        draw_edge(*painter, inner, shadow, face);
    } else {
        draw_edge(*painter, outer, kHighlight, kDarkShadow);
        draw_edge(*painter, inner, face, shadow);
    }
    if (option->state & State_HasFocus) {
        QPen dotted(option->palette.color(QPalette::ButtonText), 1, Qt::DotLine);
        painter->setPen(dotted);
        painter->drawRect(option->rect.adjusted(4, 4, -5, -5));
    }
    painter->restore();
}

QRect ClassicStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                   const QWidget* widget) const {
    QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    if (control != CC_GroupBox) {
        return rect;
    }
    const int caption_height = option->fontMetrics.height();
    if (sub == SC_GroupBoxLabel) {
        rect.moveTopLeft(option->rect.topLeft() + QPoint(caption_indent_, 0));
        rect.setHeight(caption_height);
    } else if (sub == SC_GroupBoxFrame) {
        rect = option->rect;
        rect.setTop(option->rect.top() + caption_height / 2);
    }
    return rect;
}

void ClassicStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || box == nullptr) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QStyleOptionFrame frame;
    frame.QStyleOption::operator=(*box);
    frame.rect = subControlRect(CC_GroupBox, option, SC_GroupBoxFrame, widget);
    drawPrimitive(PE_FrameGroupBox, &frame, painter, widget);

    // The caption, on its own background, breaks the top line.
    const QRect label = subControlRect(CC_GroupBox, option, SC_GroupBoxLabel, widget);
    painter->fillRect(label.adjusted(-2, 0, 2, 0), box->palette.color(QPalette::Window));
    drawItemText(painter, label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, box->palette,
                 box->state & State_Enabled, box->text, QPalette::WindowText);
}

}  // namespace kavrelo::console::qt
