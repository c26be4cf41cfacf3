// A unique temporary file for a client's own use.
#ifndef VANTREL_GENERATETEMPFILENAME_H
#define VANTREL_GENERATETEMPFILENAME_H

#include <string>

#include <Vantrel/KorrinExport.h>

// Creates a new empty file in the user's temporary directory, named from the prefix "diff"
// and a unique part, and sets `name` to its full path; the file is the caller's to use and
// delete. RESULT_FAILED (with a log line) when there is no temporary directory, its name does
// not fit, or no file can be made there; `name` is then unchanged.
KORRIN_API int GenerateTempFilename(std::wstring& name);

#endif
