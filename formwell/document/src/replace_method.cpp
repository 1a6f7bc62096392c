#include "formwell/document/replace_file.h"

namespace formwell {

// A rename makes a new file. It gives up the old file's other names (hard links), and it can give the
// new file the old one's owner and group only where the user may set them: the superuser always,
// anyone else only for a file of their own in one of their groups. It also needs the directory: the
// right to write there, and in a sticky directory such as /tmp the ownership of the file (or of the
// directory), which the owner rule already asks for.
ReplaceMethod chooseReplaceMethod(const ReplaceFacts& facts) {
    const bool ownerKept = facts.user == 0 || (facts.fileOwner == facts.user && facts.userInFileGroup);
    if (facts.directoryWritable && facts.links == 1 && ownerKept) {
        return ReplaceMethod::Rename;
    }
    return ReplaceMethod::InPlace;
}

}  // namespace formwell
