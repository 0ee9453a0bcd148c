class Extension {
  enable() {
    this._object = exportWindows();
  }

  disable() {
    this._object.unexport();
    this._object = null;
  }
}

function init() {
  return new Extension();
}
