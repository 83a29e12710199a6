// The side file kept beside a partial download (<save name>.part.info), as read back before a
// retry: a validator comes out only of a file written for this very URL, and only one that
// can go into the If-Range header as it is.
#include "OvFuzzCheck.h"
#include "core/download/OvDownloadRules.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QUrl url(QStringLiteral("http://127.0.0.1:8080/zenta-1.1.zip"));
    const QByteArray info(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QByteArray validator = OvDownloadRules::validatorFor(info, url);
    OvFuzzCheck::require(validator.isEmpty() || OvDownloadRules::partInfo(url, validator) == info,
                         "a validator from a side file not written for this URL");
    for (const char c : validator) {
        const auto byte = static_cast<unsigned char>(c);
        OvFuzzCheck::require(byte == '\t' || (byte >= 0x20 && byte != 0x7f),
                             "a validator with a control character would break the request");
    }
    return 0;
}
