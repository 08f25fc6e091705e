//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min 32765 -max 32767 -animationStartTime 32765;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 3 ".ktv[0:2]" 100 0.5 200 1.5 300 -2 ;
//Tracker export -fps 25
