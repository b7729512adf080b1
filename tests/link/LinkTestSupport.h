// Shared fixture of the link tests: a clean test bridge, an injectable
// hot-plug source, and the missing-library message captured, not shown.
#pragma once

#include "TestBridge.h"
#include "link/uCP2110.h"

#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace varnetta::link::testing {

class TFakeHotplug : public THotplugSource
{
public:
    void arrive(const QString& path) { Q_EMIT deviceChanged(THotplugKind::Arrival, path); }
    void remove(const QString& path) { Q_EMIT deviceChanged(THotplugKind::Removal, path); }
    void other() { Q_EMIT deviceChanged(THotplugKind::Other, QString()); }
};

class LinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestBridge_Reset();
        TCP2110::setMissingLibraryNotice([this](const QString& text) { missingNotices << text; });
        TCP2110::setDefaultHotplugFactory([this] {
            auto source = std::make_unique<TFakeHotplug>();
            hotplug = source.get();
            return source;
        });
    }
    void TearDown() override
    {
        // The tests' handlers capture locals that are gone by now.
        if (port)
            port->disconnect();
        port.reset();
        TCP2110::setMissingLibraryNotice(nullptr);
        TCP2110::setDefaultHotplugFactory(nullptr);
        TestBridge_Reset();
    }

    TCP2110& makePort(const QString& folder = QString())
    {
        port = std::make_unique<TCP2110>(nullptr, nullptr, folder);
        return *port;
    }

    static void feed(const QByteArray& bytes)
    {
        TestBridge_Feed(reinterpret_cast<const uint8_t*>(bytes.constData()), uint32_t(bytes.size()));
    }

    std::unique_ptr<TCP2110> port;
    TFakeHotplug* hotplug = nullptr;
    QStringList missingNotices;
};

} // namespace varnetta::link::testing
