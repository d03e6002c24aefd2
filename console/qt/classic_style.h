// SPDX-License-Identifier: MIT
// Fusion, with push buttons and group frames drawn in the classic manner:
// a button is a flat face filled with its own colour inside a two-pixel
// bevel, a frame an etched line around the frame's own background, its
// caption a few pixels in on the top line, which it interrupts. Fusion's own
// versions shade both and put the caption above the line at the corner.
#pragma once

#include <QProxyStyle>

namespace kavrelo::console::qt {

class ClassicStyle : public QProxyStyle {
public:
    // The frames' captions stand caption_indent pixels in from their left edge.
    explicit ClassicStyle(int caption_indent);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget = nullptr) const override;

private:
    const int caption_indent_;
};

}  // namespace kavrelo::console::qt
