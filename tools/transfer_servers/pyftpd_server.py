"""An anonymous, read-only FTP server on 127.0.0.1 for the transfer tests:
pyftpd_server.py ROOT PORT. It answers USER with 331 and PASS with 230."""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port = sys.argv[1], int(sys.argv[2])
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 32
    server.serve_forever()


if __name__ == "__main__":
    main()
