#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace brenvo::test {

// Runs tests of this same program in a process of their own: for what a process caches (settings
// files, service connections) and a test must see from the outside. The child finds `variable` set
// to `value` in its environment; tests meant only for the child skip themselves without it.
// Returns the child's exit code, or -1 when it did not finish within the bound.
inline int runInChild(
    const QString& testFilter, const QString& variable, const QString& value, QString* output = nullptr)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(variable, value);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + testFilter});
    const bool finished = child.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(child.readAll());
    if (!finished) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

} // namespace brenvo::test
