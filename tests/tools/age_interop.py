#!/usr/bin/env python3
"""Encrypted collections against Debian's `age` tool, in both directions.

Usage: age_interop.py PATH/TO/dorvanta-cli

`age` reads a passphrase only from a terminal, so it runs on a pseudo-terminal
here; every wait has a deadline, so a changed prompt fails instead of hanging.
"""
import json
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import time

PASSWORD = "Geheimnis-Ä1"
TIMEOUT = 60

passed = 0
failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"ok    {name}")
    else:
        failed += 1
        print(f"FAIL  {name}" + (f": {detail}" if detail else ""))


def run_on_tty(argv, answers):
    """Runs argv on a pseudo-terminal and types each answer once its prompt
    appears. Returns (exit code, everything the terminal showed)."""
    pid, fd = pty.fork()  # the child gets its own session with the pty as its terminal
    if pid == 0:
        try:
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)
    shown = b""
    pending = [(p.encode(), a.encode()) for p, a in answers]
    deadline = time.monotonic() + TIMEOUT
    try:
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{argv[0]} hangs; the terminal shows {shown!r}")
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                continue
            try:
                data = os.read(fd, 4096)
            except OSError:  # EIO: the child closed the terminal
                data = b""
            if not data:
                break
            shown += data
            while pending and pending[0][0] in shown:
                prompt, answer = pending.pop(0)
                # Answered: the prompt must not count again for the next answer.
                shown = shown.replace(prompt, b"<" + prompt + b">", 1)
                os.write(fd, answer + b"\n")
    except BaseException:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        os.close(fd)
        raise
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), shown.decode("utf-8", "replace")


def age_encrypt(age, passphrase, src, dst):
    return run_on_tty([age, "-p", "-o", dst, src],
                      [("Enter passphrase", passphrase), ("Confirm passphrase", passphrase)])


def age_decrypt(age, passphrase, src, dst):
    return run_on_tty([age, "-d", "-o", dst, src], [("Enter passphrase", passphrase)])


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    cli = sys.argv[1]
    age = shutil.which("age")
    if not age:
        print("age is not installed (scripts/setup-deps.sh installs it)", file=sys.stderr)
        print("0 passed, 1 failed")
        return 1
    def dorvanta(*args):
        # Detached from any terminal (setsid): a missing password is
        # refused at once instead of being asked for.
        return subprocess.run([cli, *args], capture_output=True, timeout=TIMEOUT,
                              stdin=subprocess.DEVNULL, start_new_session=True)

    def with_stdin(password, *args):
        return subprocess.run([cli, *args, "--password-stdin"], input=password.encode() + b"\n",
                              capture_output=True, timeout=TIMEOUT, start_new_session=True)

    def dump(path, password):
        r = dorvanta("dump", path, "--password", password)
        if r.returncode != 0:
            return f"exit {r.returncode}: {r.stderr.decode(errors='replace')}"
        return json.loads(r.stdout)

    tmp = tempfile.mkdtemp(prefix="dorvanta-age-")
    f = lambda name: os.path.join(tmp, name)
    try:
        document = {
            "password": PASSWORD,
            "keys": [
                {"parent": "Bänke", "name": "Girokonto",
                 "entries": [{"title": "Grüße", "value": "Straße 5 – €",
                              "info": "Öffnungszeit", "date": 37622.5}]},
                {"parent": "Bänke", "name": "Schließfach", "entries": []},
            ],
        }
        write(f("doc.json"), json.dumps(document, ensure_ascii=False).encode())
        r = dorvanta("build", f("doc.json"), f("plain.pdt"))
        check("build writes the plain collection", r.returncode == 0, r.stderr.decode())
        plain = read(f("plain.pdt"))
        plain_dump = dump(f("plain.pdt"), PASSWORD)
        # What an encrypted file holds inside: the same collection without its
        # password, which the passphrase is.
        bare_document = {"keys": document["keys"]}
        write(f("bare.json"), json.dumps(bare_document, ensure_ascii=False).encode())
        dorvanta("build", f("bare.json"), f("bare.pdt"))
        bare = read(f("bare.pdt"))

        # 1. Written here, read by age, with the work factor of every save; the
        # passphrase must open the protected collection and stays its password
        # (not stored inside).
        r = dorvanta("encrypt", f("plain.pdt"), f("ours.age"), "--password", PASSWORD)
        check("encrypt", r.returncode == 0, r.stderr.decode())
        header = read(f("ours.age")).split(b"\n")[:2] if os.path.exists(f("ours.age")) else []
        check("written with work factor 18",
              len(header) == 2 and header[0] == b"age-encryption.org/v1"
              and header[1].startswith(b"-> scrypt ") and header[1].endswith(b" 18"), header)
        code, shown = age_decrypt(age, PASSWORD, f("ours.age"), f("ours.pdt"))
        check("age -d opens it with the UTF-8 passphrase", code == 0, shown)
        check("age -d gives the plain bytes without the password",
              os.path.exists(f("ours.pdt")) and read(f("ours.pdt")) == bare)

        r = dorvanta("encrypt", f("plain.pdt"), f("own.age"))
        check("encrypt without --password takes the document's password",
              r.returncode == 0, r.stderr.decode())
        if r.returncode == 0:
            code, shown = age_decrypt(age, PASSWORD, f("own.age"), f("own.pdt"))
            check("age -d opens that with the document's password and gives the plain bytes",
                  code == 0 and read(f("own.pdt")) == bare, shown)

        r = dorvanta("encrypt", f("plain.pdt"), f("not.age"), "--password", "Geheimnis-A1")
        check("encrypt with a password that does not open the collection: exit 3",
              r.returncode == 3 and not os.path.exists(f("not.age")),
              f"exit {r.returncode}: {r.stderr.decode(errors='replace')}")

        # 2. Written by age, read here.
        code, shown = age_encrypt(age, PASSWORD, f("plain.pdt"), f("theirs.age"))
        check("age -p encrypts", code == 0, shown)
        theirs = dump(f("theirs.age"), PASSWORD)
        check("dump reads age's file like the plain one",
              isinstance(theirs, dict) and theirs == plain_dump, theirs)
        r = dorvanta("decrypt", f("theirs.age"), f("theirs.pdt"), "--password", PASSWORD)
        check("decrypt", r.returncode == 0, r.stderr.decode())
        check("decrypt gives the plain bytes",
              os.path.exists(f("theirs.pdt")) and read(f("theirs.pdt")) == plain)
        for args in (["dump", f("theirs.age"), "--password", "Geheimnis-A1"],
                     ["dump", f("theirs.age")],
                     ["decrypt", f("theirs.age"), f("kept.pdt"), "--password", "geheimnis-Ä1"]):
            write(f("kept.pdt"), b"vorher")
            r = dorvanta(*args)
            check(f"{' '.join(a for a in args if not a.startswith(tmp))}: exit 3",
                  r.returncode == 3 and r.stderr.strip() != b"",
                  f"exit {r.returncode}: {r.stderr.decode(errors='replace')}")
        check("a refused decrypt leaves its output alone", read(f("kept.pdt")) == b"vorher")

        # 3. A collection without a password takes age's passphrase as its own.
        del document["password"]
        write(f("open.json"), json.dumps(document, ensure_ascii=False).encode())
        r = dorvanta("build", f("open.json"), f("open.pdt"))
        check("build a collection without password", r.returncode == 0, r.stderr.decode())
        r = dorvanta("encrypt", f("open.pdt"), f("refused.age"))
        check("encrypt without any password and without a terminal: exit 3",
              r.returncode == 3 and "Passwort" in r.stderr.decode(errors="replace")
              and not os.path.exists(f("refused.age")),
              f"exit {r.returncode}: {r.stderr.decode(errors='replace')}")
        # The other way round: --password protects it (the passphrase; the inside
        # stays without a password).
        r = dorvanta("encrypt", f("open.pdt"), f("open-ours.age"), "--password", "Schlüssel 3")
        check("encrypt an open collection with --password", r.returncode == 0, r.stderr.decode())
        code, shown = age_decrypt(age, "Schlüssel 3", f("open-ours.age"), f("open-ours.pdt"))
        check("age -d gives it without a password inside",
              code == 0 and read(f("open-ours.pdt")) == read(f("open.pdt")), shown)

        code, shown = age_encrypt(age, "Schlüssel 3", f("open.pdt"), f("open.age"))
        check("age -p encrypts the open collection", code == 0, shown)
        opened = dump(f("open.age"), "Schlüssel 3")
        check("the passphrase becomes the document's password",
              isinstance(opened, dict) and opened.get("password") == "Schlüssel 3"
              and opened.get("keys") == plain_dump.get("keys"), opened)

        # 4. Any passphrase age takes opens here and back, Windows-1252 or not, of
        # any length; decrypt refuses what a plain file cannot hold, writing nothing.
        for passphrase in ("łódź", "Ключ 🔑" * 40):
            code, shown = age_encrypt(age, passphrase, f("open.pdt"), f("any.age"))
            check("age -p encrypts", code == 0, shown)
            opened = dump(f("any.age"), passphrase)
            check(f"dump opens age's file under a {len(passphrase)}-character passphrase",
                  isinstance(opened, dict) and opened.get("password") == passphrase, opened)
            r = with_stdin(passphrase, "encrypt", f("any.age"), f("back.age"))
            check("encrypt keeps it", r.returncode == 0, r.stderr.decode())
            code, shown = age_decrypt(age, passphrase, f("back.age"), f("back.pdt"))
            check("age -d opens it again", code == 0, shown)
            r = with_stdin(passphrase, "decrypt", f("any.age"), f("refused.pdt"))
            err = r.stderr.decode(errors="replace")
            check("decrypt refuses it for a plain file: exit 2, nothing written, not shown",
                  r.returncode == 2 and not os.path.exists(f("refused.pdt"))
                  and "Windows-1252" in err and passphrase not in err, err)
            os.remove(f("back.pdt"))
    except Exception as e:  # a hang or a crash of the script itself counts as a failure
        check("the checks ran to the end", False, repr(e))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
