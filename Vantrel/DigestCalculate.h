// The SHA-1 value of a whole file.
#ifndef VANTREL_DIGESTCALCULATE_H
#define VANTREL_DIGESTCALCULATE_H

#include <string>

#include <Vantrel/KorrinExport.h>
#include <Vantrel/SHA1Digest.h>

// Reads the file at `path` and on success assigns its finished SHA-1 digest to `digest`.
// RESULT_FAILED when the file cannot be opened or read; `digest` is then untouched.
// Logs nothing.
KORRIN_API int digest_calculate(const std::wstring& path, Halvorn::Vantrel::SHA1Digest& digest);

#endif
