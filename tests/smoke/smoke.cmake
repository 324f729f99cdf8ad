# X11 smoke tests (run under xvfb-run).
