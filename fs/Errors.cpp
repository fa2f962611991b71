#include "fs/Errors.h"

LinkError::LinkError(std::u16string link)
    : FileError(link +
                u" is a link (a junction or a symbolic link), which is never written "
                u"through"),
      link_(std::move(link)) {}

LinkError::LinkError(std::u16string link, std::u16string message)
    : FileError(std::move(message)), link_(std::move(link)) {}

FolderChangedError::FolderChangedError(std::u16string folder)
    : FileError(u"the folder " + folder +
                u" appeared after the run looked at the folders on the way, and is not used"),
      folder_(std::move(folder)) {}
