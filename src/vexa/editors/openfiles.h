#ifndef VEXA_EDITORS_OPENFILES_H
#define VEXA_EDITORS_OPENFILES_H

namespace vexa
{

// The files open at the last exit, in tab order, with each cursor and the
// one that was current, kept in three settings keys: "/editors/openedFiles"
// (an empty entry for an untitled editor), "/editors/openedFilePoses"
// ("line:column", 0-based, parallel to the files) and "/editors/openedCurrent".
// The editor manager writes them when every editor may go at exit, so an exit
// cancelled by the user keeps the former record; these read them at start.
class OpenFiles
{
public:
    // Opens again, in order, every recorded file that still exists; missing
    // files and untitled entries are skipped without a word.
    static void loadFiles();
    // Makes the recorded current file current, when it exists, and puts the
    // cursor of each open recorded file back where it was.
    static void loadCurrent();
};

} // namespace vexa

#endif
