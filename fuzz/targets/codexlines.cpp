// Lines from `codex app-server`, into the plan limits the usage card shows.
#include "FuzzKit.h"
#include "usage/CodexAppServer.h"
#include "usage/CodexUsageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const QSet<qint64> wanted {2, 3};
    QMap<qint64, QJsonObject> replies;
    for (const QByteArray& line : fuzz::bytes(data, size).split('\n'))
        CodexAppServer::takeLine(line, wanted, replies);
    QString failure;
    if (const auto answer = CodexAppServer::readAnswer(replies.value(2), replies.value(3), failure))
        fuzz::touch(CodexUsageReader::reportFrom(*answer, fuzz::fixedNow()));
    return 0;
}
