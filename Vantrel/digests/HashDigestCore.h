// The one implementation behind MD5Digest and SHA1Digest. The two classes live the same life
// over one context of the hashing layer and differ only in the layer's five functions and the
// width of the value; `Layer` names those (Context, Value, Init, Append, Finish, Copy,
// Destroy). The classes keep their three fields where their declarations put them, so the
// operations here take the fields themselves.
#ifndef VANTREL_DIGESTS_HASHDIGESTCORE_H
#define VANTREL_DIGESTS_HASHDIGESTCORE_H

#include <cstdint>
#include <cstring>

#include <Vantrel/ResultCodes.h>

namespace Halvorn {
namespace Vantrel {

template <class Layer>
struct HashDigestCore {
    using Context = typename Layer::Context;
    using Value = typename Layer::Value;

    // A failed init leaves the handle null; every later layer call then reports the failure
    // instead of the object throwing. A finished object owns a context too, unused until
    // Reset, so that every object owns one for its whole life.
    static void Open(Context*& context) { Layer::Init(&context); }

    static void Close(Context* context) { Layer::Destroy(context); }

    // Into a null handle the layer makes a new context; into a held one it replaces that
    // context's running state (a self-copy is a no-op).
    static void CopyContext(Context* source, Context*& destination) { Layer::Copy(source, &destination); }

    static void Assign(bool& finished, Context*& context, Value& value, bool otherFinished, Context* otherContext,
                       const Value& otherValue)
    {
        finished = otherFinished;
        CopyContext(otherContext, context);
        value = otherValue;
    }

    static int Append(bool finished, Context* context, const unsigned char* data, std::uint32_t length)
    {
        if (finished)
            return RESULT_FAILED;
        return Layer::Append(context, data, length);
    }

    static int Finish(bool& finished, Context* context, Value& value)
    {
        if (finished)
            return RESULT_FAILED;
        // Through a local so that a failing layer cannot leave a partial value behind.
        Value finalValue{};
        const int result = Layer::Finish(context, &finalValue);
        if (result == 0) {
            value = finalValue;
            finished = true;
        }
        return result;
    }

    static void Reset(bool& finished, Context*& context, Value& value)
    {
        finished = false;
        Layer::Destroy(context);
        context = nullptr;
        Layer::Init(&context);
        value = Value{};
    }

    // Only the left side's flag counts: an unfinished digest is neither equal nor unequal.
    static bool Equal(bool finished, const Value& value, const Value& other) { return finished && value == other; }
    static bool Unequal(bool finished, const Value& value, const Value& other) { return finished && value != other; }

    // Deliberately inverted: "less" holds when this value is byte-wise greater.
    static bool Less(const Value& value, const Value& other)
    {
        return std::memcmp(value.bytes, other.bytes, sizeof value.bytes) > 0;
    }
};

} // namespace Vantrel
} // namespace Halvorn

#endif
