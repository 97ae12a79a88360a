#!/usr/bin/env python3
# A file system serving a folder tree, where listing any folder whose name starts with "000"
# never ends: a share gone quiet, sorted first so that a walk meets it before anything else.
import os, sys, time
from fusepy import FUSE, Operations

class Silent(Operations):
    def __init__(self, src):
        self.src = src
    def getattr(self, path, fh=None):
        st = os.lstat(self.src + path)
        return {k: getattr(st, k) for k in ('st_mode', 'st_nlink', 'st_size', 'st_mtime', 'st_uid', 'st_gid', 'st_ino')}
    def readdir(self, path, fh):
        if os.path.basename(path).startswith('000'):
            time.sleep(3600)
        return ['.', '..'] + os.listdir(self.src + path)
    def read(self, path, size, offset, fh):
        with open(self.src + path, 'rb') as f:
            f.seek(offset)
            return f.read(size)

FUSE(Silent(sys.argv[2]), sys.argv[1], foreground=True, nothreads=False, use_ino=True)
