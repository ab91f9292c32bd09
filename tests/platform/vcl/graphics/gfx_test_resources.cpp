// A static library whose only content is its embedded bitmap resource.
int GfxTestResourcesLinked() { return 1; }
