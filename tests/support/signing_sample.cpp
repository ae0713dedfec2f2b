// A small program for windows_facts_test to sign: its code is what a changed byte alters.
int main() { return 0; }
