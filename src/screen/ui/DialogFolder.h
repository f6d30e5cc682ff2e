#pragma once
// Where the file dialogs of the screens start: in the folder used last while the program runs, at
// first in the user's Documents folder (the home folder where there is none), never in the process's
// current directory.
#include <QString>

namespace mirota {

// The folder a file dialog starts in.
QString DialogFolder();
// `name` inside DialogFolder() when it is a bare or relative name; an absolute path as it is.
QString InDialogFolder(const QString& name);
// Remembers the folder of a file chosen in a dialog (nothing for an empty name).
void RememberDialogFolder(const QString& file);

} // namespace mirota
