// The settings file parser on any text. What it accepts, it writes back (as
// UTF-8, as the store does) in a form that reads again to the same document;
// what it refuses, it says why.
#include "platform/Registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
bool sameValue(const Registry::Value& a, const Registry::Value& b)
{
    return a.name == b.name && a.kind == b.kind && a.dword == b.dword && a.text == b.text;
}

bool sameDocument(const Registry::Document& a, const Registry::Document& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (qsizetype k = 0; k < a.keys.size(); ++k) {
        const Registry::Key& x = a.keys[k];
        const Registry::Key& y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size())
            return false;
        for (qsizetype v = 0; v < x.values.size(); ++v)
            if (!sameValue(x.values[v], y.values[v]))
                return false;
    }
    return true;
}

void fail(const char* why)
{
    std::fprintf(stderr, "fuzz_registry: %s\n", why);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto doc = Registry::parse(text, &error);
    if (!doc) {
        if (error.isEmpty())
            fail("refused without a reason");
        return 0;
    }
    const QByteArray written = Registry::serialize(*doc).toUtf8();
    const auto again = Registry::parse(QString::fromUtf8(written), &error);
    if (!again)
        fail("what it wrote does not read back");
    if (!sameDocument(*doc, *again))
        fail("what it wrote reads back otherwise");
    return 0;
}
