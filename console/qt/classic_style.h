// Fusion, with push buttons and group frames drawn in the classic manner:
// a button is a flat face filled with its own colour inside a two-pixel
// bevel, a frame an etched line around the frame's own background. Fusion's
// own versions shade both, which would not show the colours given.
#pragma once

#include <QProxyStyle>

namespace kavrelo::console::qt {

class ClassicStyle : public QProxyStyle {
public:
    ClassicStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace kavrelo::console::qt
