"""A private Tango database for one test, as a facility runs it: Debian's tango-db schema on a MariaDB server
of its own (data in a temporary directory, listening on 127.0.0.1 only) and DataBaseds in front of it.
Everything is stopped when the test is done."""

import getpass
import os
import subprocess

import tango

from tango_support import Program, free_port, wait_for, STARTUP_BOUND

SCHEMA = "/usr/share/dbconfig-common/data/tango-db/install/mysql"  # the schema and its first rows, as dbconfig loads them
DATABASEDS = "/usr/lib/tango/DataBaseds"
USER, PASSWORD = "tango", "pinwright-test"


class TangoDatabase:
    def __init__(self, directory):
        self.directory = str(directory)
        self.data = os.path.join(self.directory, "mariadb")
        self.socket = os.path.join(self.directory, "mariadb.sock")
        self.sql_port = free_port()
        self.port = free_port()
        self.tango_host = "127.0.0.1:%d" % self.port
        self.programs = []
        try:
            self._start_mariadb()
            self._load_schema()
            self._start_databaseds()
        except BaseException:
            self.stop()
            raise

    def _user_options(self):
        # mariadbd refuses to run as root unless told to; run as whoever runs the tests.
        return ["--user=%s" % getpass.getuser()]

    def _start_mariadb(self):
        subprocess.run(["mariadb-install-db", "--no-defaults", "--datadir=" + self.data, "--skip-test-db",
                        "--auth-root-authentication-method=socket"] + self._user_options(),
                       check=True, capture_output=True, text=True, timeout=120)
        server = Program(["mariadbd", "--no-defaults", "--datadir=" + self.data, "--socket=" + self.socket,
                          "--port=%d" % self.sql_port, "--bind-address=127.0.0.1", "--skip-name-resolve",
                          "--pid-file=" + os.path.join(self.directory, "mariadb.pid"), "--skip-log-bin",
                          "--innodb-buffer-pool-size=16M", "--log-error=" + os.path.join(self.directory, "mariadb.err"),
                          "--console"] + self._user_options())
        self.programs.append(server)
        wait_for(lambda: self._sql("SELECT 1", check=False).returncode == 0 or self._ended(server),
                 STARTUP_BOUND * 2, "MariaDB to take connections")
        assert server.process.poll() is None, self._log()

    def _ended(self, program):
        if program.process.poll() is not None:
            raise AssertionError("%s ended:\n%s\n%s" % (program.arguments[0], program.output.text(), self._log()))
        return False

    def _log(self):
        path = os.path.join(self.directory, "mariadb.err")
        return open(path).read() if os.path.exists(path) else ""

    def _sql(self, text, check=True):
        return subprocess.run(["mariadb", "--no-defaults", "--socket=" + self.socket, "--user=" + getpass.getuser()],
                              input=text, capture_output=True, text=True, timeout=120, check=check)

    def _load_schema(self):
        self._sql("CREATE DATABASE tango; USE tango; SOURCE %s;\n"
                  "CREATE USER '%s'@'127.0.0.1' IDENTIFIED BY '%s';\n"
                  "GRANT ALL PRIVILEGES ON tango.* TO '%s'@'127.0.0.1';\n" % (SCHEMA, USER, PASSWORD, USER))

    def _start_databaseds(self):
        env = dict(os.environ, MYSQL_HOST="127.0.0.1:%d" % self.sql_port, MYSQL_USER=USER, MYSQL_PASSWORD=PASSWORD,
                   MYSQL_DATABASE="tango", TANGO_HOST=self.tango_host)
        databaseds = Program([DATABASEDS, "2", "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % self.port], env=env)
        self.programs.append(databaseds)

        def answers():
            self._ended(databaseds)
            try:
                tango.Database("127.0.0.1", self.port).get_db_host()
                return True
            except tango.DevFailed:
                return False
        wait_for(answers, STARTUP_BOUND, "DataBaseds to answer")

    def env(self):
        return dict(os.environ, TANGO_HOST=self.tango_host)

    def database(self):
        return tango.Database("127.0.0.1", self.port)

    def stop(self):
        for program in reversed(self.programs):
            program.stop()
        self.programs = []
