// What the fuzz harnesses share: a folder for the files they hand the library (one for the
// run; each input overwrites the last one's files), and a check whose failure the fuzzer keeps
// as a crash. Blobs go in and out of stores as in the other tests.
#ifndef KORRIN_TESTS_FUZZ_FUZZSUPPORT_H
#define KORRIN_TESTS_FUZZ_FUZZSUPPORT_H

#include <cstdlib>
#include <string>

#include <Vantrel/Vantrel.h>

#include "support/TempDir.h"
#include "support/TestData.h"

namespace KorrinFuzz {

using KorrinTest::BlobOf;

inline void Require(bool condition)
{
    if (!condition)
        std::abort();
}

inline const KorrinTest::TempDir scratch;

template <typename Store>
bool FromBlob(Store& store, const std::string& blob)
{
    return KorrinTest::FromBlob(store, blob) == Halvorn::Vantrel::RESULT_OK;
}

} // namespace KorrinFuzz

#endif
