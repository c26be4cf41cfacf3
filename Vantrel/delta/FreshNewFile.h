// How a rebuild opens its new file. A client's new file is opened as named, following a
// link there and truncating a file that exists. In-place application rebuilds into a name
// of its own making beside the target, and asks for a fresh file there instead: whatever was
// at the name goes, and a link there can never make the rebuild write into another file.
#ifndef VANTREL_DELTA_FRESHNEWFILE_H
#define VANTREL_DELTA_FRESHNEWFILE_H

namespace Halvorn {
namespace Vantrel {

// While one lives, the next rebuild on this thread makes a fresh new file.
class FreshNewFile {
public:
    FreshNewFile();
    ~FreshNewFile();
    FreshNewFile(const FreshNewFile&) = delete;
    FreshNewFile& operator=(const FreshNewFile&) = delete;

    // Whether the rebuild starting now is to make a fresh file; asking uses the request up.
    static bool Take();
};

} // namespace Vantrel
} // namespace Halvorn

#endif
