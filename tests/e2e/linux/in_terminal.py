#!/usr/bin/env python3
"""Runs a program in a pseudo-terminal and drives it as a person at the keyboard would.

    in_terminal.py [--stderr FILE] STEPS SCREEN COMMAND [ARGS...]

STEPS holds one step a line:
    expect TEXT        wait (at most 30 s) until the terminal has shown TEXT since the last expect
    send TEXT          type TEXT and Enter
    interrupt          press Ctrl+C (the terminal turns it into SIGINT)
    run SHELL          run a shell command here, while the program waits
The terminal is 80 columns wide and 24 lines high, and is the program's controlling terminal;
with --stderr the program's standard error goes to FILE instead of the terminal.
Everything the terminal showed goes to SCREEN. The exit code is the program's, or 124 when it
did not end within 60 s after the last step; a step that times out ends the run with 125.
"""
import fcntl
import os
import pty
import select
import struct
import subprocess
import sys
import termios
import time


def main():
    args = sys.argv[1:]
    stderr_file = None
    if args[0] == "--stderr":
        stderr_file, args = args[1], args[2:]
    steps_file, screen_file, command = args[0], args[1], args[2:]
    steps = [line.rstrip("\n") for line in open(steps_file) if line.strip()]
    pid, fd = pty.fork()
    if pid == 0:
        # Set before the program starts, so that it never sees the new terminal's 0 by 0.
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        if stderr_file:
            os.dup2(os.open(stderr_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644), 2)
        os.execvp(command[0], command)
    seen = b""
    mark = 0

    def pump(seconds):
        nonlocal seen
        ready, _, _ = select.select([fd], [], [], seconds)
        if not ready:
            return True
        try:
            data = os.read(fd, 4096)
        except OSError:
            return False
        if not data:
            return False
        seen += data
        return True

    code = 0
    for step in steps:
        word, _, rest = step.partition(" ")
        if word == "expect":
            deadline = time.time() + 30
            while rest.encode() not in seen[mark:]:
                if time.time() > deadline or not pump(0.1):
                    if rest.encode() in seen[mark:]:
                        break
                    sys.stderr.write("in_terminal: never saw %r\n" % rest)
                    code = 125
                    break
            if code:
                break
            mark = seen.index(rest.encode(), mark) + len(rest)
        elif word == "send":
            os.write(fd, rest.encode() + b"\r")
        elif word == "interrupt":
            os.write(fd, b"\x03")
        elif word == "run":
            subprocess.run(rest, shell=True, check=True)
    deadline = time.time() + 60
    while pump(0.1):
        if time.time() > deadline:
            os.kill(pid, 9)
            code = code or 124
            break
    _, status = os.waitpid(pid, 0)
    open(screen_file, "wb").write(seen.replace(b"\r\n", b"\n"))
    if code:
        return code
    return os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main())
