#pragma once

// The calls the store makes of a tool, in its order, each fed from the fuzzer's replies.
#include "FuzzKit.h"
#include "model/ActivitySource.h"
#include "model/PaymentSource.h"

namespace brenvo::fuzz {

inline void walk(ActivitySource& source)
{
    const QString token = QStringLiteral("fuzz-token");
    run(source.account(token));
    run(source.projects(token));
    const auto rows = run(source.deployments(token, std::nullopt, 3));
    if (!rows)
        return;
    touch(*rows);
    for (const Deployment& row : rows->mid(0, 2)) {
        if (const auto details = run(source.details(token, row)))
            touch(*details);
    }
    source.advice();
}

inline void walk(PaymentSource& source)
{
    const QString key = QStringLiteral("fuzz-key");
    const auto account = run(source.account(key));
    if (const auto payments = run(source.payments(key, account.value_or(PaymentAccountInfo {}), 10)))
        touch(*payments);
}

} // namespace brenvo::fuzz
