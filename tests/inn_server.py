"""A private INN news server for the end-to-end tests: its own inn.conf,
spool, history and sockets under one temporary directory, innd listening
on the loopback interface only and running as user news. Nothing of the
system's own setup under /etc/news or /var/spool/news is touched."""

import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

INN_BIN = "/usr/lib/news/bin"
SYSTEM_ETC = "/etc/news"


def missing_reason():
    """Why the server cannot be run here, or None."""
    if not os.path.exists(os.path.join(INN_BIN, "innd")):
        return "inn2 is not installed (apt-get install inn2; see .ci/run)"
    if os.geteuid() != 0:
        return "needs root to run innd as user news"
    try:
        pwd.getpwnam("news")
    except KeyError:
        return "there is no user news"
    return None


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class InnServer:
    """One innd with a tradspool under `root`; `wireformat` picks how the
    spool stores articles."""

    def __init__(self, root, wireformat):
        self.root = root
        self.wireformat = wireformat
        self.port = free_port()
        self.news = pwd.getpwnam("news")
        self.innd = None
        self.paths = {
            "pathdb": "db", "pathetc": "etc", "pathspool": "spool",
            "patharticles": "spool/articles",
            "pathoverview": "spool/overview",
            "pathincoming": "spool/incoming",
            "pathtmp": "spool/incoming/tmp",
            "pathoutgoing": "spool/outgoing",
            "patharchive": "spool/archive", "pathrun": "run",
            "pathlog": "log", "pathhttp": "http"}
        self.paths = {k: os.path.join(root, v) for k, v in self.paths.items()}
        self.env = dict(os.environ, INNCONF=self.path("etc", "inn.conf"),
                        HOME=root, PATH=INN_BIN + ":" + os.environ["PATH"])
        for name in ("NNTPSERVER", "INND_BIND_ADDRESS", "INND_BIND_ADDRESS6",
                     "ORGANIZATION"):
            self.env.pop(name, None)

    def path(self, *names):
        return os.path.join(self.root, *names)

    # Setup.

    def configure(self):
        for p in self.paths.values():
            os.makedirs(p, exist_ok=True)
        etc = self.paths["pathetc"]
        for name in os.listdir(SYSTEM_ETC):
            source = os.path.join(SYSTEM_ETC, name)
            if os.path.isfile(source):
                shutil.copy(source, etc)
        self.write_inn_conf()
        with open(os.path.join(etc, "storage.conf"), "w") as f:
            f.write("method tradspool {\n    newsgroups: *\n    class: 0\n}\n")
        # No feeds and no channels: the server only stores.
        with open(os.path.join(etc, "newsfeeds"), "w") as f:
            f.write("ME:*/!local::\n")
        db = self.paths["pathdb"]
        shutil.copy("/usr/lib/news/examples/active", db)
        shutil.copy("/usr/lib/news/examples/newsgroups", db)
        for name in ("history", "active.times"):
            open(os.path.join(db, name), "w").close()
        for dirpath, dirnames, filenames in os.walk(self.root):
            for name in dirnames + filenames:
                os.chown(os.path.join(dirpath, name), self.news.pw_uid,
                         self.news.pw_gid)
        os.chown(self.root, self.news.pw_uid, self.news.pw_gid)
        self.run_as_news(["makedbz", "-i", "-o"], cwd=db)

    def write_inn_conf(self):
        """The package's inn.conf with the private paths, a free port on
        127.0.0.1 only, and nothing that mails, watches or checks PGP."""
        with open(os.path.join(SYSTEM_ETC, "inn.conf")) as f:
            lines = f.read().splitlines()
        own = dict(self.paths)
        own.update({
            "domain": "localdomain", "pathhost": "news.quillon.test",
            "server": "127.0.0.1", "port": str(self.port),
            "bindaddress": "127.0.0.1", "nnrpdpostport": str(self.port),
            "wireformat": "true" if self.wireformat else "false",
            "organization": '"Quillon Test Site"', "doinnwatch": "false",
            "pgpverify": "false", "status": "0", "timer": "0",
            "artcutoff": "0", "mta": '"/bin/true %s"'})
        kept = [l for l in lines
                if l.split(":", 1)[0].strip() not in own]
        kept += ["%s: %s" % (k, v) for k, v in own.items()]
        with open(self.path("etc", "inn.conf"), "w") as f:
            f.write("\n".join(kept) + "\n")

    # Processes.

    def demote(self):
        os.setgroups([])
        os.setgid(self.news.pw_gid)
        os.setuid(self.news.pw_uid)

    def run_as_news(self, args, stdin=b"", cwd=None, check=True):
        program = args[0] if "/" in args[0] else os.path.join(INN_BIN, args[0])
        done = subprocess.run([program] + list(args[1:]), input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=self.env, cwd=cwd or self.root,
                              preexec_fn=self.demote, timeout=60)
        if check and done.returncode != 0:
            raise RuntimeError("%s failed (%d): %s %s" % (
                " ".join(args), done.returncode, done.stdout.decode(
                    errors="replace"), done.stderr.decode(errors="replace")))
        return done

    def start(self):
        # -d: stay in the foreground so that this process owns it.
        log = open(self.path("log", "innd.out"), "wb")
        self.innd = subprocess.Popen(
            [os.path.join(INN_BIN, "innd"), "-d"], stdout=log,
            stderr=subprocess.STDOUT, env=self.env, cwd=self.root,
            preexec_fn=self.demote)
        log.close()
        deadline = time.monotonic() + 30
        while True:
            if self.innd.poll() is not None:
                raise RuntimeError("innd ended at start: " + self.log_text())
            done = self.run_as_news(["ctlinnd", "-t", "5", "mode"],
                                    check=False)
            if done.returncode == 0 and b"running" in done.stdout.lower():
                return
            if time.monotonic() > deadline:
                raise RuntimeError("innd did not come up: " + self.log_text())
            time.sleep(0.2)

    def stop(self):
        if self.innd is None:
            return
        if self.innd.poll() is None:
            self.run_as_news(["ctlinnd", "-t", "10", "shutdown", "test done"],
                             check=False)
            try:
                self.innd.wait(20)
            except subprocess.TimeoutExpired:
                self.innd.kill()
                self.innd.wait()
        self.innd = None

    def log_text(self):
        texts = []
        for name in ("innd.out", "news.err", "news.notice"):
            try:
                with open(self.path("log", name), errors="replace") as f:
                    texts.append(name + ":\n" + f.read()[-3000:])
            except OSError:
                pass
        return "\n".join(texts)

    # News.

    def newgroup(self, group):
        self.run_as_news(["ctlinnd", "-t", "10", "newgroup", group, "y"])

    def post(self, article):
        """Posts an article (headers, blank line, body) with inews."""
        self.run_as_news(["inews", "-h", "-O", "-p", str(self.port)],
                         stdin=article)

    def rnews(self, batch):
        self.run_as_news(["rnews", "-N", "-r", "127.0.0.1", "-P",
                          str(self.port)], stdin=batch)

    def sync(self):
        """Waits until innd has written what it was given."""
        self.run_as_news(["ctlinnd", "-t", "10", "flush", ""])

    def group_dir(self, group):
        return os.path.join(self.paths["patharticles"], *group.split("."))


def started_server(test, wireformat):
    """A server of `test`'s own, started; stopped and removed after it."""
    root = tempfile.mkdtemp(prefix="quillon-inn-")
    test.addCleanup(shutil.rmtree, root, True)
    server = InnServer(root, wireformat)
    server.configure()
    test.addCleanup(server.stop)
    server.start()
    return server
