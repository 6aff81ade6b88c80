// A resource-only language module for tests.
