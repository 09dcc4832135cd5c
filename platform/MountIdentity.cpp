#include "MountIdentity.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace kardelo {

std::optional<MountIdentity> mountIdentityOf(const QString& path)
{
    struct statx status {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(),
                AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &status) != 0)
        return std::nullopt;
    MountIdentity identity;
    identity.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    if (status.stx_mask & STATX_MNT_ID)
        identity.mountId = status.stx_mnt_id;
    return identity;
}

} // namespace kardelo
