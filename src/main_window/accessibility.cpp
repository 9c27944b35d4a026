#include "main_window/Controls.h"

#include <QAccessibleWidget>

namespace {

// The interior as a screen reader walks it: the children that ClientArea says are read, in its order.
class ClientAreaAccessible : public QAccessibleWidget {
public:
    explicit ClientAreaAccessible(ClientArea *area) : QAccessibleWidget(area) { }

    int childCount() const override { return int(area()->readingOrder().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> read = area()->readingOrder();
        return index >= 0 && index < read.size() ? QAccessible::queryAccessibleInterface(read.at(index)) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(area()->readingOrder().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    ClientArea *area() const { return static_cast<ClientArea *>(widget()); }
};

// The update link is read as a link, by its caption, and a screen reader can follow it.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel *label) : QAccessibleWidget(label, QAccessible::Link) { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && label()->accessibleName().isEmpty())
            return label()->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (label()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() && label()->isEnabled())
            label()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == pressAction())
            return {QStringLiteral("Return"), QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

private:
    LinkLabel *label() const { return static_cast<LinkLabel *>(widget()); }
};

QAccessibleInterface *controlsFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(ClientArea::staticMetaObject.className()))
        return new ClientAreaAccessible(static_cast<ClientArea *>(object));
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()))
        return new LinkAccessible(static_cast<LinkLabel *>(object));
    return nullptr;
}

} // namespace

void installControlsAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(controlsFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
