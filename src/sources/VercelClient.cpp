#include "sources/VercelClient.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

QUrl VercelClient::defaultBaseURL()
{
    return QUrl(u"https://api.vercel.com"_s);
}

QString VercelClient::defaultSuffix()
{
    return u".vercel.app"_s;
}

ServiceAPI VercelClient::api() const
{
    ServiceAPI api;
    api.http = http;
    api.baseURL = baseURL;
    api.readsSnakeCase = false;
    api.rejects = &VercelClient::rejectsToken;
    return api;
}

bool VercelClient::rejectsToken(const QJsonObject& body)
{
    const QJsonValue error = body.value(u"error"_s);
    if (!error.isObject())
        return false;
    const QJsonObject object = error.toObject();
    auto isTrue = [&object](const char* key) {
        const QJsonValue v = object.value(QLatin1String(key));
        return v.isBool() && v.toBool();
    };
    return isTrue("invalidToken") || isTrue("missingToken");
}

} // namespace brenvo
