#!/usr/bin/env python3
# A file system serving the wave files of a folder, where every read of "hang.wav" waits until
# the file RELEASE appears beside the mount: a share that stopped answering for one file.
import errno, os, sys, time
from fusepy import FUSE, Operations, FuseOSError

class Hang(Operations):
    def __init__(self, src, release):
        self.src, self.gate = src, release
    def getattr(self, path, fh=None):
        st = os.lstat(self.src + path)
        return {k: getattr(st, k) for k in ('st_mode', 'st_nlink', 'st_size', 'st_mtime', 'st_uid', 'st_gid')}
    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.src + path)
    def read(self, path, size, offset, fh):
        while path.endswith('hang.wav') and not os.path.exists(self.gate):
            time.sleep(0.05)
        with open(self.src + path, 'rb') as f:
            f.seek(offset)
            return f.read(size)

FUSE(Hang(sys.argv[2], sys.argv[3]), sys.argv[1], foreground=True, nothreads=False, direct_io=True)
