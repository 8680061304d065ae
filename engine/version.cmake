# The engine's version: --version and the packages.
set(QVX_VERSION 7.0.0)
