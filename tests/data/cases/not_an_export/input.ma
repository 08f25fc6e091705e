Shot 0010: camera solve notes
playbackOptions were set by hand
