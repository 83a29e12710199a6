// The body of a check answer: every input gives an offer or a failure with its reason.
#include "OvFuzzCheck.h"
#include "core/check/OvUpgradeAnswer.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const OvUpgradeAnswer answer = OvUpgradeAnswer::parse(body);
    OvFuzzCheck::require(answer.isOffer() == answer.errorString.isEmpty(),
                         "an offer with a reason, or a failure without one");
    OvFuzzCheck::require(!answer.isOffer() || answer.status == 200,
                         "an offer from an answer whose status is not 200");
    return 0;
}
