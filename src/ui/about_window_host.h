#pragma once

#include "ui/content_view.h"

#include <QObject>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace tessavo {

// Owns the one About window. It is built from `component` on first use and
// only shown again afterwards, so closing it keeps it and its position. The
// position is remembered across launches as "About/geometry" in the
// preferences of `contentView`.
class AboutWindowHost : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQmlComponent* component READ component WRITE setComponent NOTIFY componentChanged)
    Q_PROPERTY(QQuickWindow* window READ window NOTIFY windowChanged)
    Q_PROPERTY(tessavo::ContentView* contentView MEMBER m_contentView)
    Q_CLASSINFO("DefaultProperty", "component")

public:
    explicit AboutWindowHost(QObject* parent = nullptr);
    ~AboutWindowHost() override;

    QQmlComponent* component() const { return m_component; }
    void setComponent(QQmlComponent* component);
    QQuickWindow* window() const { return m_window.get(); }

    Q_INVOKABLE void show();

signals:
    void componentChanged();
    void windowChanged();

private:
    bool create();
    void placeWindow();
    void saveGeometry() const;

    QQmlComponent* m_component = nullptr;
    ContentView* m_contentView = nullptr;
    std::unique_ptr<QQuickWindow> m_window;
};

} // namespace tessavo
