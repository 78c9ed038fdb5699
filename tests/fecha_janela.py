#!/usr/bin/env python3
# Asks an X window to close, as a window manager's close box does (WM_DELETE_WINDOW):
# the end-to-end tests run Xvfb without a window manager.
# Usage: fecha_janela.py WINDOW_ID    (exit 0 when the request was sent)
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):  # XClientMessageEvent, padded to the size of an XEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
d = x.XOpenDisplay(None) or sys.exit(1)
ev = ClientMessage(type=33, window=int(sys.argv[1]), format=32, message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0))
ev.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
ok = x.XSendEvent(d, ev.window, 0, 0, ctypes.byref(ev))
x.XCloseDisplay(d)  # flushes the request
sys.exit(0 if ok else 1)
