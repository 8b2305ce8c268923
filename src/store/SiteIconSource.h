#pragma once

#include <QCoroTask>
#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace brenvo {

class SiteIconLoader;

// Website icons for the payment accounts. Neither call fails: nothing when there is no picture.
class SiteIconSource {
public:
    virtual ~SiteIconSource() = default;

    // The icon of a website written with or without its scheme.
    virtual QCoro::Task<std::optional<QImage>> icon(QString website) = 0;
    // The picture at an address.
    virtual QCoro::Task<std::optional<QImage>> image(QUrl url) = 0;
};

// The web's icons through the shared loader.
class LoaderSiteIcons final : public SiteIconSource {
public:
    explicit LoaderSiteIcons(std::shared_ptr<SiteIconLoader> loader);

    QCoro::Task<std::optional<QImage>> icon(QString website) override;
    QCoro::Task<std::optional<QImage>> image(QUrl url) override;

private:
    std::shared_ptr<SiteIconLoader> m_loader;
};

} // namespace brenvo
