#!/usr/bin/env python3
"""Counts how often a deleting scan loses a file it never checked.

A user's folder t/dir (holding a listed threat) is exchanged again and again with a link t/lnk
to another folder that holds a file of the same name and content, while
`quorvane scan --action delete t` runs. Every run that deletes the other folder's file is a
loss. Usage: bench/link_swap_race.py [QUORVANE_BINARY] [RUNS]
"""
import ctypes, os, shutil, subprocess, sys, tempfile, threading

here = os.path.dirname(os.path.abspath(__file__))
binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build/release/bin/quorvane")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 150
libc = ctypes.CDLL(None, use_errno=True)
AT_FDCWD, RENAME_EXCHANGE = -100, 2
eicar = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$" + b"EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"

with tempfile.TemporaryDirectory() as base:
    os.makedirs(base + "/home")
    shutil.copy(os.path.join(here, "..", "data/vir.sig"), base + "/home/vir.sig")
    lost = 0
    for _ in range(runs):
        shutil.rmtree(base + "/t", ignore_errors=True)
        shutil.rmtree(base + "/victim", ignore_errors=True)
        os.makedirs(base + "/t/dir")
        os.makedirs(base + "/victim")
        for path in (base + "/t/dir/evil.exe", base + "/victim/evil.exe"):
            with open(path, "wb") as f:
                f.write(eicar)
        os.symlink(base + "/victim", base + "/t/lnk")
        stop = threading.Event()

        def swap():
            a, b = (base + "/t/dir").encode(), (base + "/t/lnk").encode()
            while not stop.is_set():
                libc.renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE)

        swapper = threading.Thread(target=swap)
        swapper.start()
        subprocess.run([binary, "--home", base + "/home", "scan", "--action", "delete", base + "/t"],
                       capture_output=True)
        stop.set()
        swapper.join()
        lost += not os.path.exists(base + "/victim/evil.exe")
    print(f"{binary}: the other folder's file deleted in {lost} of {runs} runs")
    sys.exit(1 if lost else 0)
