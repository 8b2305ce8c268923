#pragma once

#include <QCoroTask>
#include <QImage>
#include <QString>
#include <QUrl>

#include <optional>

namespace brenvo {

// Website icons for the payment accounts. Neither call fails: nothing when there is no picture.
class SiteIconSource {
public:
    virtual ~SiteIconSource() = default;

    // The icon of a website written with or without its scheme.
    virtual QCoro::Task<std::optional<QImage>> icon(QString website) = 0;
    // The picture at an address.
    virtual QCoro::Task<std::optional<QImage>> image(QUrl url) = 0;
};

} // namespace brenvo
