// Never run: built so that the link of app/ without tools/ is checked.
int main() { return 0; }
