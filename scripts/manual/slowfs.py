#!/usr/bin/env python3
# A file system serving a folder where every read of a file takes DELAY seconds: a slow disk or
# a distant share that still answers. Listing and status stay quick.
import os, sys, time
from fusepy import FUSE, Operations

class Slow(Operations):
    def __init__(self, src, delay):
        self.src, self.delay = src, delay
    def getattr(self, path, fh=None):
        st = os.lstat(self.src + path)
        return {k: getattr(st, k) for k in ('st_mode', 'st_nlink', 'st_size', 'st_mtime', 'st_uid', 'st_gid')}
    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.src + path)
    def read(self, path, size, offset, fh):
        time.sleep(self.delay)
        with open(self.src + path, 'rb') as f:
            f.seek(offset)
            return f.read(size)

FUSE(Slow(sys.argv[2], float(sys.argv[3])), sys.argv[1], foreground=True, nothreads=False,
     direct_io=True)
