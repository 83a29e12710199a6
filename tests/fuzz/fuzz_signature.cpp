// A signature as an answer carries it, with the key it is checked against: the input's first
// line is the public key's base64 line, the rest the text of the .minisig file. Whatever the
// bytes, the verifier accepts or refuses with its reason, and it accepts only a signature that
// names the offered version.
#include "OvFuzzCheck.h"
#include "core/verify/OvMinisignSignature.h"
#include "core/verify/OvPackageHash.h"
#include "core/verify/OvPackageVerifier.h"

#include <cstdint>

using OvFuzzCheck::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool isQuiet = OvFuzzCheck::quiet();
    // The hash of the small package the seeds were signed over (tests/data/fuzz-seeds/signature/).
    static const QByteArray packageHash = [] {
        OvPackageHash hash;
        hash.addData("zenta 1.1\n", 10);
        return hash.result();
    }();
    require(isQuiet, "cannot silence the log");

    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const int end = input.indexOf('\n');
    const QByteArray key = end < 0 ? input : input.left(end);
    const QByteArray text = end < 0 ? QByteArray() : input.mid(end + 1);

    OvMinisignSignature signature;
    const bool isParsed = signature.parse(text);
    require(isParsed == signature.errorString().isEmpty() &&
                (!isParsed ||
                 (signature.algorithm.size() == 2 && signature.keyId.size() == 8 &&
                  signature.signature.size() == 64 && signature.globalSignature.size() == 64)),
            "a parsed signature with a reason or of the wrong sizes, or a refusal without one");
    OvPackageVerifier verifier;
    const bool isGood = verifier.verify(packageHash, key, text.toBase64(), QStringLiteral("1.1"));
    require(isGood == (verifier.error() == OvPackageVerifier::Error::None) &&
                isGood == verifier.errorString().isEmpty(),
            "a refusal without a reason, or an acceptance with one");
    require(!isGood || (isParsed && signature.trustedComment == "zenta 1.1"),
            "accepted a signature that does not name version 1.1");
    return 0;
}
