// SPDX-License-Identifier: MIT
#include "announcement.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace kavrelo::console::qt {
namespace {

constexpr char kAnnouncementProperty[] = "kavrelo_announcement";

// Its name, read when the window is reviewed, is what it shows. A reader
// announces a notification by its label ("Resultado:") and then its
// description, so the description is what it shows as well.
class AnnouncementAccessible final : public QAccessibleWidget {
public:
    explicit AnnouncementAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name || kind == QAccessible::Description) {
            return static_cast<const QLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* announcement_for(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (label == nullptr || !label->property(kAnnouncementProperty).toBool()) {
        return nullptr;  // the toolkit's own account
    }
    return new AnnouncementAccessible(label);
}

}  // namespace

void make_announcement(QLabel& label) {
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(&announcement_for), true);
    label.setProperty(kAnnouncementProperty, true);
}

void announce(QLabel& label) {
    // The name's change the label reports itself, when the text differs.
    QAccessibleEvent described(&label, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
    QAccessibleEvent shown(&label, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

}  // namespace kavrelo::console::qt
