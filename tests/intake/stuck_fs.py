#!/usr/bin/python3
# One empty folder whose listing does not answer (a stuck network mount): asked, it leaves RELEASE.asked, and answers once
# RELEASE exists or after 10 s, then leaving RELEASE.waited. Debian's python3-fusepy: stuck_fs.py MOUNTPOINT RELEASE
import os, stat, sys, time
from fusepy import FUSE, FuseOSError, Operations
mountpoint, release = sys.argv[1:]


class Stuck(Operations):
    def getattr(self, path, fh=None):
        if path != '/':
            raise FuseOSError(2)
        return {'st_mode': stat.S_IFDIR | 0o755, 'st_nlink': 2}

    def readdir(self, path, fh):
        open(release + '.asked', 'w').close()
        for _ in range(200):
            if os.path.exists(release):
                return ['.', '..']
            time.sleep(0.05)
        open(release + '.waited', 'w').close()
        return ['.', '..']


FUSE(Stuck(), mountpoint, foreground=True)
