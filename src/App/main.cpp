// Entry of the editor.
int main() { return 0; }
