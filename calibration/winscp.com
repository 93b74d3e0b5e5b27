#!/usr/bin/python3
"""Runs the calibration tool's upload scripts on OpenSSH.

Usage: winscp.com /ini=nul /script=FILE

Understands the script commands the calibration tool writes: open (an scp:// or
sftp:// URL with -privatekey, -hostkey and -rawsettings), option batch|confirm,
mkdir, put and exit, one per line, "#" starting a comment. The whole script is
checked before anything is sent. The server's host key must match a -hostkey
fingerprint (SHA-256, base 64) before the key is used; an unknown key is never
accepted. The private key is converted with puttygen into a private temporary
directory. Transcript lines go to standard output, errors to standard error;
the exit code is 0 only when every command outside "option batch continue"
succeeded.
"""

import base64
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unicodedata
import urllib.parse

SFTP_TIMEOUT = 90
KEYSCAN_TIMEOUT = 10
CONNECT_TIMEOUT = 15


class Failure(Exception):
    """A command that did not succeed; the message is for standard error."""


def out(line):
    print(line, flush=True)


def err(line):
    print(line, file=sys.stderr, flush=True)


def split_words(line):
    """Splits a script line into words: blanks separate, double quotes group, and
    two double quotes inside quotes stand for one."""
    words = []
    word = None
    quoted = False
    i = 0
    while i < len(line):
        c = line[i]
        if quoted:
            if c == '"':
                if line[i + 1:i + 2] == '"':
                    word += '"'
                    i += 1
                else:
                    quoted = False
            else:
                word += c
        elif c == '"':
            quoted = True
            word = word or ""
        elif c in " \t":
            if word is not None:
                words.append(word)
                word = None
        else:
            word = (word or "") + c
        i += 1
    if quoted:
        raise Failure("Unterminated quotation")
    if word is not None:
        words.append(word)
    return words


def forbidden(c):
    """Control characters and the Unicode line and paragraph separators: none of
    them belongs in a name, and some would end a line for other readers."""
    return unicodedata.category(c) in ("Cc", "Zl", "Zp")


def check_text(text, what):
    if not text or any(forbidden(c) for c in text):
        raise Failure("Invalid %s" % what)


def script_lines(text):
    """Lines end at LF or CR LF only; a character that ends lines elsewhere stays
    in its line, where the check of the words refuses it."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


class Fingerprint:
    """One -hostkey entry: [key type] [bits] SHA-256 digest in base 64."""

    def __init__(self, text):
        parts = text.split()
        if not parts or parts[-1] == "*":
            raise Failure("Accepting any host key is not allowed; give its fingerprint")
        digest = parts[-1]
        if digest.startswith("SHA256:"):
            digest = digest[len("SHA256:"):]
        try:
            raw = base64.b64decode(digest + "=" * (-len(digest) % 4), validate=True)
        except ValueError:
            raw = b""
        if len(raw) != 32:
            raise Failure('Host key fingerprint "%s" is not a SHA-256 fingerprint' % text)
        if len(parts) > 3 or (len(parts) == 3 and not parts[1].isdigit()):
            raise Failure('Host key fingerprint "%s" is not understood' % text)
        self.key_type = parts[0] if len(parts) > 1 else None
        self.digest = raw
        self.text = text

    def matches(self, key_type, blob):
        return (self.key_type in (None, key_type)) and hashlib.sha256(blob).digest() == self.digest


class Session:
    def __init__(self, words):
        self.key_file = None
        self.fingerprints = []
        url = words[0]
        parsed = urllib.parse.urlsplit(url)
        if parsed.scheme not in ("scp", "sftp"):
            raise Failure('Only scp:// and sftp:// sessions are supported: "%s"' % url)
        if parsed.password is not None:
            raise Failure("Passwords are not supported; use -privatekey")
        if not parsed.username or not parsed.hostname:
            raise Failure('Session URL "%s" needs a user name and a host' % url)
        if parsed.path not in ("", "/"):
            raise Failure('Session URL "%s" must not name a path' % url)
        self.user = urllib.parse.unquote(parsed.username)
        self.host = parsed.hostname
        try:
            self.port = parsed.port or 22
        except ValueError:
            raise Failure('Invalid port in "%s"' % url) from None
        check_text(self.user, "user name")
        if self.user.startswith("-") or self.host.startswith("-"):
            raise Failure('Invalid session URL "%s"' % url)

        rest = words[1:]
        while rest:
            word = rest.pop(0)
            name, _, value = word.partition("=")
            name = name.lower()
            if name == "-privatekey":
                check_text(value, "private key path")
                self.key_file = value
            elif name == "-hostkey":
                self.fingerprints = [Fingerprint(f) for f in value.split(";") if f.strip()]
            elif name == "-rawsettings":
                # The cipher and key exchange lists name the tool's own
                # algorithm groups; OpenSSH keeps its own stronger defaults.
                if any("=" not in setting for setting in rest):
                    raise Failure("-rawsettings takes Name=Value pairs")
                rest = []
            else:
                raise Failure('Unknown switch "%s" of open' % word)
        if not self.fingerprints:
            raise Failure("No host key fingerprint given (-hostkey); an unknown host key "
                          "is never accepted")
        if not self.key_file:
            raise Failure("No private key given (-privatekey)")
        self.name = "%s@%s" % (self.user, self.host)
        self.dir = None

    def connect(self):
        self.dir = tempfile.mkdtemp(prefix="lc-upload-")
        out("Searching for host...")
        key_type, blob, host_field = self.verified_host_key()
        with open(os.path.join(self.dir, "known_hosts"), "w") as known:
            known.write("%s %s %s\n" % (host_field, key_type,
                                        base64.b64encode(blob).decode("ascii")))
        self.host_key_type = key_type
        out("Connecting to host...")
        out('Host key fingerprint is %s %s.' % (
            key_type, base64.b64encode(hashlib.sha256(blob).digest()).decode().rstrip("=")))
        self.identity = os.path.join(self.dir, "identity")
        convert_key(self.key_file, self.identity, self.dir)
        out("Authenticating...")
        out('Using username "%s".' % self.user)
        out('Authenticating with private key "%s".' % self.key_file)
        self.sftp([], "Authentication failed or the connection was refused.")
        out("Authenticated.")
        out("Starting the session...")
        out("Session started.")
        out("Active session: [1] %s" % self.name)

    def verified_host_key(self):
        try:
            scan = subprocess.run(
                ["ssh-keyscan", "-T", str(KEYSCAN_TIMEOUT), "-p", str(self.port), "--",
                 self.host],
                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                timeout=3 * KEYSCAN_TIMEOUT)
        except FileNotFoundError:
            raise Failure("ssh-keyscan (OpenSSH client) is not installed") from None
        except subprocess.TimeoutExpired:
            raise Failure("Host %s does not answer" % self.host) from None
        seen = []
        for line in scan.stdout.splitlines():
            fields = line.split()
            if len(fields) < 3 or line.startswith("#"):
                continue
            try:
                blob = base64.b64decode(fields[2], validate=True)
            except ValueError:
                continue
            seen.append(fields[1])
            if any(f.matches(fields[1], blob) for f in self.fingerprints):
                return fields[1], blob, fields[0]
        if not seen:
            raise Failure("Network error: cannot reach host %s port %d" % (self.host, self.port))
        raise Failure("Host key does not match the configured key (-hostkey). The server "
                      "may be a different one; nothing was sent.")

    def ssh_options(self):
        algorithms = self.host_key_type
        if algorithms == "ssh-rsa":
            algorithms = "rsa-sha2-512,rsa-sha2-256"
        options = {
            "User": self.user, "Port": str(self.port), "IdentityFile": self.identity,
            "IdentitiesOnly": "yes", "IdentityAgent": "none", "BatchMode": "yes",
            "PasswordAuthentication": "no", "KbdInteractiveAuthentication": "no",
            "StrictHostKeyChecking": "yes", "HostKeyAlgorithms": algorithms,
            "UserKnownHostsFile": os.path.join(self.dir, "known_hosts"),
            "GlobalKnownHostsFile": "/dev/null", "UpdateHostKeys": "no", "CheckHostIP": "no",
            "ConnectTimeout": str(CONNECT_TIMEOUT), "ServerAliveInterval": "10",
            "ServerAliveCountMax": "3", "LogLevel": "ERROR",
        }
        args = ["-F", "/dev/null"]
        for name, value in options.items():
            args += ["-o", "%s=%s" % (name, value)]
        return args

    def sftp(self, commands, failure):
        """Runs commands in one sftp batch; the batch stops at the first failure."""
        host = "[%s]" % self.host if ":" in self.host else self.host
        try:
            run = subprocess.run(["sftp", "-b", "-"] + self.ssh_options() + ["--", host],
                                 input="".join(c + "\n" for c in commands), text=True,
                                 stdout=subprocess.DEVNULL, timeout=SFTP_TIMEOUT)
        except FileNotFoundError:
            raise Failure("sftp (OpenSSH client) is not installed") from None
        except subprocess.TimeoutExpired:
            raise Failure("Timeout: " + failure) from None
        if run.returncode != 0:
            raise Failure(failure)

    def close(self):
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None


def convert_key(source, target, private_dir):
    """Writes the key as an unencrypted OpenSSH key readable only by us."""
    if not os.path.isfile(source):
        raise Failure('Private key file "%s" does not exist' % source)
    empty = os.path.join(private_dir, "no-passphrase")
    open(empty, "w").close()
    try:
        run = subprocess.run(["puttygen", source, "-O", "private-openssh", "-o", target,
                              "--old-passphrase", empty, "--new-passphrase", empty],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True,
                             timeout=30)
    except FileNotFoundError:
        raise Failure("puttygen (putty-tools) is not installed") from None
    if run.returncode != 0:
        raise Failure('Cannot load private key "%s" (passphrase-protected keys are not '
                      'supported): %s' % (source, run.stderr.strip()))
    os.chmod(target, 0o600)


def sftp_quote(path):
    return '"' + path.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Script:
    def __init__(self, lines):
        self.commands = []
        for number, line in enumerate(lines, 1):
            line = line.strip(" \t")
            if not line or line.startswith("#"):
                continue
            try:
                words = split_words(line)
                for word in words:
                    check_text(word, "character in the line")
                self.commands.append((number, words[0].lower(), words[1:]))
                self.check(words[0].lower(), words[1:])
            except Failure as e:
                raise Failure("Script line %d: %s" % (number, e)) from None

    @staticmethod
    def check(command, args):
        counts = {"open": None, "option": 2, "mkdir": 1, "put": 2, "exit": 0}
        if command not in counts:
            raise Failure('Unknown command "%s"' % command)
        if command == "open":
            if not args:
                raise Failure("open needs a session URL")
            Session(args)
        elif len(args) != counts[command]:
            raise Failure('Wrong number of parameters of "%s"' % command)
        for arg in args if command in ("mkdir", "put") else []:
            check_text(arg, "path")
            if arg.startswith("-"):
                raise Failure('Switches of "%s" are not supported' % command)
        if command == "option":
            name, value = args[0].lower(), args[1].lower()
            allowed = {"batch": ("on", "off", "abort", "continue"), "confirm": ("on", "off")}
            if value not in allowed.get(name, ()):
                raise Failure('Unsupported option "%s %s"' % (args[0], args[1]))
        if command == "put" and any(c in args[0] for c in "*?["):
            raise Failure("File masks are not supported in put")


def run(script):
    session = None
    keep_going = False
    try:
        for number, command, args in script.commands:
            try:
                if command == "exit":
                    break
                if command == "option":
                    out("%-9s %s" % (args[0].lower(), args[1].lower()))
                    if args[0].lower() == "batch":
                        keep_going = args[1].lower() == "continue"
                    continue
                if command == "open":
                    if session:
                        session.close()
                    session = Session(args)
                    session.connect()
                    continue
                if not session:
                    raise Failure("Not connected: no open session")
                if command == "mkdir":
                    session.sftp(["mkdir " + sftp_quote(args[0])],
                                 "Error creating folder '%s'." % args[0])
                    out("%s created" % args[0])
                elif command == "put":
                    put(session, args[0], args[1])
            except (Failure, OSError) as e:
                err("%s (script line %d)" % (e, number))
                if not keep_going:
                    return 1
        return 0
    finally:
        if session:
            session.close()


def put(session, source, target):
    if not os.path.isfile(source):
        raise Failure("File or folder '%s' does not exist." % source)
    # The server decides who may read the file, not the local file's mode.
    copy = os.path.join(session.dir, "upload")
    os.makedirs(copy, exist_ok=True)
    copy = os.path.join(copy, os.path.basename(source))
    shutil.copyfile(source, copy)
    os.chmod(copy, 0o644)
    session.sftp(["put %s %s" % (sftp_quote(copy), sftp_quote(target))],
                 "Error transferring file '%s'." % source)
    out("%-40s | %d B | binary | 100%%" % (os.path.basename(source), os.path.getsize(source)))


def main(argv):
    script_file = None
    for arg in argv:
        name, _, value = arg.partition("=")
        if name.lower() == "/ini":
            continue
        if name.lower() == "/script" and value:
            script_file = value
        else:
            err('Unknown parameter "%s"; usage: winscp.com /ini=nul /script=FILE' % arg)
            return 1
    if not script_file:
        err("No script given; usage: winscp.com /ini=nul /script=FILE")
        return 1
    try:
        with open(script_file, "rb") as f:
            text = f.read().decode("utf-8")
    except (OSError, UnicodeDecodeError) as e:
        err('Cannot read script "%s": %s' % (script_file, e))
        return 1
    try:
        script = Script(script_lines(text))
    except Failure as e:
        err(str(e))
        return 1
    return run(script)


def stop(signum, _frame):
    raise SystemExit(128 + signum)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, stop)
    sys.exit(main(sys.argv[1:]))
