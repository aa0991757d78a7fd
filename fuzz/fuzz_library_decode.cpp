// The whole library document as it may be found on disk: any bytes. A document that decodes must
// encode back to one that decodes to the same library (what is read is what the next save writes).
#include "fuzz/FuzzText.h"
#include "library/AppStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    const QByteArray document(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto decoded = AppStore::decode(document);
    if (!decoded) {
        fuzz::check(!decoded.error().message.isEmpty(), "a refused document says why");
        return 0;
    }
    const QByteArray written = AppStore::encode(decoded.value());
    const auto reread = AppStore::decode(written);
    fuzz::check(reread.hasValue(), "an encoded library decodes");
    fuzz::check(reread.value() == decoded.value(), "a library survives encoding unchanged");
    return 0;
}
