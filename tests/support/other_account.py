# Plays another local account against the single-instance channel's abstract names; run
# as that account with this file on standard input (`python3 - MODE NAME`).
#   squat NAME  listens on NAME first and answers "ok" to anything, as a program of
#               another account could; prints "listening" once it does.
#   raise NAME  connects to NAME, sends the raise request and prints "closed" when the
#               connection was closed without an answer, else "answered" and the bytes.
import socket
import sys

mode, name = sys.argv[1], "\0" + sys.argv[2]
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
if mode == "squat":
    s.bind(name)
    s.listen(8)
    print("listening", flush=True)
    while True:
        connection, _ = s.accept()
        connection.settimeout(2)
        try:
            connection.recv(64)
            connection.sendall(b"ok\n")
        except OSError:
            pass
        connection.close()
else:
    s.connect(name)
    s.settimeout(5)
    try:
        s.sendall(b"raise\n")
        answer = s.recv(16)
    except (ConnectionResetError, BrokenPipeError):
        answer = b""
    except socket.timeout:
        answer = b"<no answer, still open>"
    print("closed" if answer == b"" else "answered %r" % answer, flush=True)
