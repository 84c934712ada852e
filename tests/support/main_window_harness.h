#pragma once

#include "fake_platform.h"

#include <QList>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <memory>

namespace tessavo::testing {

// The real Main.qml over a ContentView on fake dialogs, shown and active.
class MainWindowHarness {
public:
    MainWindowHarness();
    ~MainWindowHarness();

    bool loaded() const { return m_window != nullptr; }
    ContentView& view() const { return *m_desktop.view; }
    FakeDesktop& desktop() { return m_desktop; }
    QQuickWindow* window() const { return m_window; }
    QQuickItem* item(const char* objectName) const;
    QObject* object(const char* objectName) const;

    // Creates a file of `bytes` bytes (sparse) in a scratch folder and lists it.
    QUrl addFile(const QString& name, qint64 bytes);
    QString scratchPath(const QString& name) const { return m_scratch.filePath(name); }

    // The list's rows in the order shown, top to bottom.
    QList<QQuickItem*> rows() const;
    QPoint centreOf(const QQuickItem* item) const;

private:
    QTemporaryDir m_scratch;
    FakeDesktop m_desktop;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow* m_window = nullptr;
};

} // namespace tessavo::testing
