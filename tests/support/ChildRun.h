#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

namespace brenvo::test {

// Runs one test of this same program in a process of its own: for what a process caches (settings
// files, service connections) and a test must see from the outside. Tests meant only for the child
// are disabled (DISABLED_ prefix) so that the ordinary run passes them by; `environment` is added
// to the child's. With a wrapper (a script that sets up the child's surroundings), the wrapper runs
// the program. True when the child ran that test and it passed; otherwise its output is reported.
inline bool childPassed(const QString& suite, const QString& test,
    const QProcessEnvironment& environment = {}, const QString& wrapper = {})
{
    const QString name = suite + QStringLiteral(".DISABLED_") + test;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(environment);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments {
        QStringLiteral("--gtest_filter=") + name, QStringLiteral("--gtest_also_run_disabled_tests")};
    if (!wrapper.isEmpty())
        arguments.prepend(QCoreApplication::applicationFilePath());
    child.start(wrapper.isEmpty() ? QCoreApplication::applicationFilePath() : wrapper, arguments);
    const bool finished = child.waitForFinished(60000);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    const QString output = QString::fromUtf8(child.readAll());
    const bool passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && output.contains(QStringLiteral("[       OK ] ") + name);
    if (!passed)
        ADD_FAILURE() << "The child run of " << name.toStdString() << " failed:\n" << output.toStdString();
    return passed;
}

} // namespace brenvo::test
