precision highp float;
