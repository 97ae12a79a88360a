#!/usr/bin/env python3
# A file system whose folder "quiet" never finishes listing: a share gone quiet.
import errno, stat, sys, time
from fusepy import FUSE, Operations, FuseOSError

class Quiet(Operations):
    def getattr(self, path, fh=None):
        if path in ('/', '/quiet'):
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2)
        if path == '/ok.wav':
            return dict(st_mode=stat.S_IFREG | 0o644, st_nlink=1, st_size=len(WAVE))
        raise FuseOSError(errno.ENOENT)
    def readdir(self, path, fh):
        if path == '/quiet':
            time.sleep(3600)
        return ['.', '..', 'quiet', 'ok.wav']
    def read(self, path, size, offset, fh):
        return WAVE[offset:offset + size]

WAVE = open(sys.argv[2], 'rb').read()
FUSE(Quiet(), sys.argv[1], foreground=True, nothreads=False)
