#!/usr/bin/env python3
"""A plain X window of another program's, as a screensaver daemon makes
one: x_window.py W H prints its id, then on each line read "resize W H"
resizes it and "destroy" destroys it, answering "done"."""
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XCreateSimpleWindow.restype = ctypes.c_ulong
x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
for f in ("XMapWindow", "XDestroyWindow"):
    getattr(x, f).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XResizeWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.c_uint]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
w = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, int(sys.argv[1]), int(sys.argv[2]), 0, 0, 0x808080)
x.XMapWindow(d, w)
x.XSync(d, 0)
print("0x%x" % w, flush=True)
for line in sys.stdin:
    words = line.split()
    if words[:1] == ["resize"]:
        x.XResizeWindow(d, w, int(words[1]), int(words[2]))
    elif words[:1] == ["destroy"]:
        x.XDestroyWindow(d, w)
    x.XSync(d, 0)
    print("done", flush=True)
