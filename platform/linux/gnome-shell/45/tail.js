export default class PlenkWindows extends Extension {
  enable() {
    this._object = exportWindows();
  }

  disable() {
    this._object.unexport();
    this._object = null;
  }
}
